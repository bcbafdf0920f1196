// One frame of measurements as it travels from a receiver to the frame display:
// four parallel arrays, one entry per measured point.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct MuchLidarData {
    std::vector<int> channel;      // laser line of the point (0-15, 0-3 in practice)
    std::vector<float> azimuth;    // horizontal angle, degrees
    std::vector<float> distance;   // range, centimetres; 0 = no return
    std::vector<int> intensity;    // reflectivity 0-255
    // The sensor each point came from, by its index in the list of sensors the frame was merged
    // from; empty for a frame of one sensor (every point then is sensor 0's).
    std::vector<std::uint8_t> sensor;
    // A replayed frame's number in its capture, from 1 in capture order; 0 for live frames.
    // Not part of the measurements: equal frames compare equal whatever their numbers.
    std::uint32_t number = 0;

    std::size_t size() const { return channel.size(); }
    std::size_t sensorOf(std::size_t i) const { return i < sensor.size() ? sensor[i] : 0; }
    bool empty() const { return channel.empty(); }
    // Points that all four arrays hold: a record built elsewhere may be ragged.
    std::size_t commonSize() const {
        std::size_t n = channel.size();
        if (azimuth.size() < n) n = azimuth.size();
        if (distance.size() < n) n = distance.size();
        if (intensity.size() < n) n = intensity.size();
        return n;
    }

    void clear() {
        sensor.clear();
        channel.clear();
        azimuth.clear();
        distance.clear();
        intensity.clear();
    }

    void reserve(std::size_t n) {
        channel.reserve(n);
        azimuth.reserve(n);
        distance.reserve(n);
        intensity.reserve(n);
    }

    void append(int line, float azimuthDeg, float distanceCm, int inten) {
        channel.push_back(line);
        azimuth.push_back(azimuthDeg);
        distance.push_back(distanceCm);
        intensity.push_back(inten);
    }

    // Appends all of `other` after this frame's points.
    void appendAll(const MuchLidarData& other) {
        if (!sensor.empty() || !other.sensor.empty()) {
            sensor.resize(channel.size(), 0);
            if (other.sensor.empty()) sensor.resize(channel.size() + other.channel.size(), 0);
            else sensor.insert(sensor.end(), other.sensor.begin(), other.sensor.end());
        }
        channel.insert(channel.end(), other.channel.begin(), other.channel.end());
        azimuth.insert(azimuth.end(), other.azimuth.begin(), other.azimuth.end());
        distance.insert(distance.end(), other.distance.begin(), other.distance.end());
        intensity.insert(intensity.end(), other.intensity.begin(), other.intensity.end());
    }

    // Appends all of `other` (one sensor's frame) as the points of sensor `index`.
    void appendSensor(const MuchLidarData& other, std::uint8_t index) {
        const std::size_t before = size();
        appendAll(other);
        sensor.resize(before, 0);
        sensor.resize(size(), index);
    }

    bool operator==(const MuchLidarData& o) const {
        return channel == o.channel && azimuth == o.azimuth && distance == o.distance &&
               intensity == o.intensity && sensor == o.sensor;
    }
    bool operator!=(const MuchLidarData& o) const { return !(*this == o); }
};
