// The button images of the program, in the order the contact sheet shows them. Each is drawn in
// Resources/icons/<name>.svg, and the resource check expects each under :/image/Resources/images/.
#pragma once

namespace kv_icons {

constexpr const char* kAppIcon = "korvane.ico";

constexpr const char* kPngIcons[] = {
    "Sensor.png",
    "Lidar.png",
    "Grid.png",
    "select.png",
    "Red.png",
    "SelectRange.png",
    "Measure.png",
    "clear.png",
    "Coordinate.png",
    "LidarDataList.png",
    "Legend.png",
    "Snapshot.png",
    "zhengshi.png",
    "fushi.png",
    "zuoshi.png",
    "OpenCaptureFile.png",
    "OpenPCD.png",
    "Record.png",
    "RecordPCD.png",
    "Gotostart.png",
    "Seekbackward.png",
    "Play.png",
    "Pause.png",
    "Seekforward.png",
    "Gotostop.png",
    "StopRewind.png",
    "CloseCapture.png",
    "Seekbackward_0.25x.png",
    "Seekbackward_0.5x.png",
    "Seekbackward_2x.png",
    "Seekbackward_3x.png",
    "Seekforward_0.25x.png",
    "Seekforward_0.5x.png",
    "Seekforward_2x.png",
    "Seekforward_3x.png",
    "InteractionSetUp.png",
    "AdvancedSetting.png",
    "Chanel.png",
    "Csv.png",
    "About.png",
    "User.png",
    "Develop.png",
    "YES.png",
    "NO.png",
};

// Pixel size of every PNG, and the sizes packed into the application icon.
constexpr int kPngSize = 64;
constexpr int kAppIconSizes[] = {256, 48, 32, 16};

}  // namespace kv_icons
