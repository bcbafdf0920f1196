#include "playback.h"

namespace kv {

int pacingMs(int speed) {
    switch (speed) {
    case 0: return 80;
    case 1: return 40;
    case 2: return 25;
    case 3: return 100;
    default: return 110;
    }
}

SpeedStep forwardSpeedStep(int state) {
    switch (state) {
    case 1: return {"Seekforward_2x.png", 1, 2};
    case 2: return {"Seekforward_3x.png", 2, 3};
    case 3: return {"Seekforward_0.5x.png", 3, 4};
    case 4: return {"Seekforward_0.25x.png", 4, 5};
    default: return {"Seekforward.png", 0, 1};
    }
}

SpeedStep backwardSpeedStep(int state) {
    switch (state) {
    case 1: return {"Seekbackward.png", 0, 2};
    case 2: return {"Seekbackward_2x.png", 1, 3};
    case 3: return {"Seekbackward_3x.png", 2, 4};
    case 4: return {"Seekbackward_0.5x.png", 3, 5};
    default: return {"Seekbackward_0.25x.png", 4, 1};
    }
}

}  // namespace kv
