// The colour bar of the view: for each colour mode of the colour selector, what the bar shows
// (its range, its colours, its labels) and the VTK lookup table and actor that draw it. The
// colours are those the points are drawn with (point_geometry.h): the elevation bands and the
// line colours are read from the tables the point colours come from, the intensity and azimuth
// colours sampled where they are constant, so the bar shows exactly the points' bytes.
// Include only in .cpp files that work with VTK (cloud_view.cpp and the legend's test).
#pragma once

#include <string>
#include <vector>

#include <vtkSmartPointer.h>

#include "point_geometry.h"

class vtkLookupTable;
class vtkRenderer;
class vtkScalarBarActor;

namespace kv {

struct ColourLegendSpec {
    bool shown = false;  // Solid (one colour for every point) has no legend
    std::string title;
    // Linear bars: `colours` in equal steps from minValue to maxValue; a value v lies in step
    // floor((v - minValue) / step), maxValue itself in the last step, or in the upper swatch
    // when the bar has one. Indexed bars: one swatch per value minValue, minValue + 1, ...,
    // labelled with the value.
    bool indexed = false;
    double minValue = 0, maxValue = 0;
    std::vector<Rgb> colours;
    // Colours below minValue and from maxValue up, drawn as swatches of their own.
    bool outerSwatches = false;
    Rgb below{0, 0, 0}, above{0, 0, 0};
    std::string belowText, aboveText;
    int labelCount = 0;  // labels along a linear bar, ends included
};

// The legend of colour mode `mode` (the colour selector's index): Intensity 0-255, Elevation
// -2 to 5 m in 1 m steps with the colours below -2 m and from 5 m up beside it (each band's
// lower edge in the band: 0 m is white), Azimuth 0-360
// deg in 45 deg steps, LaserID one swatch per line 0-3, Sensor one per sensor index 0-7.
ColourLegendSpec colourLegendSpec(int mode);

// The lookup table the bar draws: MapValue(v) gives the colour bytes of the points at v.
vtkSmartPointer<vtkLookupTable> legendLookupTable(const ColourLegendSpec& spec);

// The bar in `renderer`'s right part, following the colour mode; hidden for Solid or when
// switched off.
class ColourLegend {
public:
    explicit ColourLegend(vtkRenderer* renderer);
    ~ColourLegend();
    ColourLegend(const ColourLegend&) = delete;
    ColourLegend& operator=(const ColourLegend&) = delete;

    void show(int mode, bool enabled);
    bool visible() const;
    int mode() const { return mode_; }
    vtkScalarBarActor* actor() const;

private:
    vtkRenderer* renderer_;
    vtkSmartPointer<vtkScalarBarActor> bar_;
    int mode_ = -1;
};

}  // namespace kv
