#include "colour_legend.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include <vtkDoubleArray.h>
#include <vtkLookupTable.h>
#include <vtkRenderer.h>
#include <vtkScalarBarActor.h>
#include <vtkTextProperty.h>
#include <vtkVariant.h>

namespace kv {

ColourLegendSpec colourLegendSpec(int mode) {
    ColourLegendSpec s;
    switch (mode) {
    case kColourIntensity:
        // One step per intensity value: the step of v is v itself for every whole v.
        s.title = "Intensity";
        s.minValue = 0;
        s.maxValue = 255;
        for (int v = 0; v <= 255; ++v) s.colours.push_back(intensityColour(v));
        s.labelCount = 6;
        break;
    case kColourElevation: {
        // The bar spans the bands between the lowest and the highest in one-metre steps, the
        // band edges being whole metres; the lowest and the highest band are its outer swatches.
        const auto& bands = kElevationBands;
        s.title = "Elevation (m)";
        s.minValue = bands[1].fromM;
        s.maxValue = bands.back().fromM;
        for (std::size_t i = 1; i + 1 < bands.size(); ++i)
            for (float m = bands[i].fromM; m < bands[i + 1].fromM; m += 1.0f) s.colours.push_back(bands[i].rgb);
        s.outerSwatches = true;
        s.below = bands.front().rgb;
        s.above = bands.back().rgb;
        s.belowText = "below -2";
        s.aboveText = "5 and up";
        s.labelCount = int(s.maxValue - s.minValue) + 1;
        break;
    }
    case kColourAzimuth:
        s.title = "Azimuth (deg)";
        s.minValue = 0;
        s.maxValue = 360;
        for (int k = 0; k < 8; ++k) s.colours.push_back(azimuthColour(float(k) * 45.0f + 22.5f));
        s.labelCount = 9;
        break;
    case kColourLaserId:
        s.title = "LaserID";
        s.indexed = true;
        s.minValue = 0;
        s.maxValue = kLineCount - 1;
        s.colours.assign(kLaserIdColours.begin(), kLaserIdColours.end());
        break;
    case kColourSensor:  // by the index the "Sensors" dock lists them with
        s.title = "Sensor";
        s.indexed = true;
        s.minValue = 0;
        s.maxValue = double(kSensorColours.size() - 1);
        s.colours.assign(kSensorColours.begin(), kSensorColours.end());
        break;
    default:
        return s;  // Solid, or no mode: no legend
    }
    s.shown = true;
    return s;
}

namespace {
double unit(std::uint8_t byte) { return double(byte) / 255.0; }
}  // namespace

vtkSmartPointer<vtkLookupTable> legendLookupTable(const ColourLegendSpec& s) {
    auto lut = vtkSmartPointer<vtkLookupTable>::New();
    const auto n = vtkIdType(s.colours.size());
    lut->SetNumberOfTableValues(n > 0 ? n : 1);
    for (vtkIdType i = 0; i < n; ++i) {
        const Rgb& c = s.colours[std::size_t(i)];
        lut->SetTableValue(i, unit(c.r), unit(c.g), unit(c.b), 1.0);
    }
    // A value equal to the upper end belongs to the swatch above the bar when there is one (as
    // 5 m is "5 and up"), and otherwise to the last step (as intensity 255). VTK's table counts
    // its upper end in the last step, so with an upper swatch the range stops just below it.
    lut->SetTableRange(s.minValue, s.outerSwatches ? std::nextafter(s.maxValue, s.minValue) : s.maxValue);
    if (s.indexed) {
        lut->IndexedLookupOn();
        for (vtkIdType i = 0; i < n; ++i) {
            const int value = int(s.minValue) + int(i);
            lut->SetAnnotation(vtkVariant(double(value)), std::to_string(value));
        }
    }
    if (s.outerSwatches) {
        lut->SetBelowRangeColor(unit(s.below.r), unit(s.below.g), unit(s.below.b), 1.0);
        lut->SetAboveRangeColor(unit(s.above.r), unit(s.above.g), unit(s.above.b), 1.0);
        lut->UseBelowRangeColorOn();
        lut->UseAboveRangeColorOn();
    }
    // SetTableValue() marks the table as built: Build() would not overwrite the colours.
    lut->Build();
    return lut;
}

ColourLegend::ColourLegend(vtkRenderer* renderer) : renderer_(renderer), bar_(vtkSmartPointer<vtkScalarBarActor>::New()) {
    bar_->SetOrientationToVertical();
    bar_->GetPositionCoordinate()->SetCoordinateSystemToNormalizedViewport();
    bar_->SetPosition(0.82, 0.08);
    bar_->SetWidth(0.16);
    bar_->SetHeight(0.84);
    bar_->SetMaximumWidthInPixels(160);
    bar_->SetBarRatio(0.25);
    bar_->SetLabelFormat("%.0f");
    // Tick labels right of the bar, annotations (the swatches' names) left of it.
    bar_->SetTextPositionToSucceedScalarBar();
    bar_->SetAnnotationTextScaling(false);
    for (vtkTextProperty* t : {bar_->GetTitleTextProperty(), bar_->GetLabelTextProperty(), bar_->GetAnnotationTextProperty()}) {
        t->SetColor(1.0, 1.0, 1.0);
        t->SetFontFamilyToArial();
        t->ShadowOff();
        t->ItalicOff();
    }
    bar_->GetTitleTextProperty()->BoldOn();
    bar_->GetTitleTextProperty()->SetFontSize(14);
    bar_->GetLabelTextProperty()->BoldOff();
    bar_->GetLabelTextProperty()->SetFontSize(12);
    bar_->GetAnnotationTextProperty()->SetFontSize(12);
    bar_->SetUnconstrainedFontSize(true);
    bar_->VisibilityOff();
    renderer_->AddActor2D(bar_);
}

ColourLegend::~ColourLegend() { renderer_->RemoveActor2D(bar_); }

void ColourLegend::show(int mode, bool enabled) {
    if (mode != mode_) {
        mode_ = mode;
        const ColourLegendSpec s = colourLegendSpec(mode);
        if (s.shown) {
            bar_->SetLookupTable(legendLookupTable(s));
            bar_->SetTitle(s.title.c_str());
            bar_->SetNumberOfLabels(s.labelCount);
            // The labels at their exact values: the table's range may stop just short of the
            // upper end, and labels spread over it would print 0 as "-0".
            auto labels = vtkSmartPointer<vtkDoubleArray>::New();
            for (int i = 0; i < s.labelCount; ++i)
                labels->InsertNextValue(s.minValue + (s.maxValue - s.minValue) * i / std::max(1, s.labelCount - 1));
            bar_->SetCustomLabels(labels);
            bar_->SetUseCustomLabels(true);
            bar_->SetDrawTickLabels(!s.indexed);
            bar_->SetDrawBelowRangeSwatch(s.outerSwatches);
            bar_->SetDrawAboveRangeSwatch(s.outerSwatches);
            bar_->SetBelowRangeAnnotation(s.belowText.c_str());
            bar_->SetAboveRangeAnnotation(s.aboveText.c_str());
        }
    }
    bar_->SetVisibility(enabled && colourLegendSpec(mode).shown);
}

bool ColourLegend::visible() const { return bar_->GetVisibility() != 0; }

vtkScalarBarActor* ColourLegend::actor() const { return bar_; }

}  // namespace kv
