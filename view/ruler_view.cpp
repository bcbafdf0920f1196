#include "ruler_view.h"

#include <QVTKOpenGLNativeWidget.h>
#include <vtkActor.h>
#include <vtkBillboardTextActor3D.h>
#include <vtkCamera.h>
#include <vtkCellArray.h>
#include <vtkDataSet.h>
#include <vtkLineSource.h>
#include <vtkMapper.h>
#include <vtkMatrix4x4.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkPolyDataMapper.h>
#include <vtkProperty.h>
#include <vtkRenderWindow.h>
#include <vtkRenderer.h>
#include <vtkRendererCollection.h>
#include <vtkTextProperty.h>

#include <cmath>
#include <limits>
#include <vector>

#include "cloud_view_pcl.h"

namespace kv {

namespace {
constexpr double kRulerColour[3] = {1.0, 0.78, 0.0};  // amber: apart from every colour mode's points
constexpr float kMarkSizePx = 9.0f;

vtkRenderer* viewRenderer(CloudView& view) {
    return view.impl().viewer->getRenderWindow()->GetRenderers()->GetFirstRenderer();
}

// World to the widget's logical pixels from its top left, by the renderer's camera: the
// inverse of how the render widget hands mouse positions to VTK (device pixels, y up).
class Projector {
public:
    Projector(vtkRenderer* renderer, double devicePixelRatio) : ratio_(devicePixelRatio) {
        vtkMatrix4x4* m = renderer->GetActiveCamera()->GetCompositeProjectionTransformMatrix(
            renderer->GetTiledAspectRatio(), -1, 1);
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) m_[r][c] = m->GetElement(r, c);
        const int* size = renderer->GetRenderWindow()->GetSize();
        const double* vp = renderer->GetViewport();
        width_ = size[0];
        height_ = size[1];
        vp_[0] = vp[0], vp_[1] = vp[1], vp_[2] = vp[2], vp_[3] = vp[3];
    }
    ScreenPoint operator()(double x, double y, double z) const {
        const double nan = std::numeric_limits<double>::quiet_NaN();
        const double w = m_[3][0] * x + m_[3][1] * y + m_[3][2] * z + m_[3][3];
        if (!(w > 0.0)) return {nan, nan};  // behind the camera
        const double nx = (m_[0][0] * x + m_[0][1] * y + m_[0][2] * z + m_[0][3]) / w;
        const double ny = (m_[1][0] * x + m_[1][1] * y + m_[1][2] * z + m_[1][3]) / w;
        // vtkViewport::ViewToDisplay, then the widget's flip (y = height - y - 1) and scale.
        const double dx = (nx + 1.0) * (width_ * (vp_[2] - vp_[0])) / 2.0 + width_ * vp_[0];
        const double dy = (ny + 1.0) * (height_ * (vp_[3] - vp_[1])) / 2.0 + height_ * vp_[1];
        return {dx / ratio_, (height_ - 1 - dy) / ratio_};
    }

private:
    double m_[4][4];
    double vp_[4];
    double width_ = 1, height_ = 1;
    double ratio_ = 1;
};

Projector projector(CloudView& view) {
    return Projector(viewRenderer(view), view.impl().screen->devicePixelRatioF());
}
}  // namespace

struct RulerView::Actors {
    vtkSmartPointer<vtkPoints> markPoints = vtkSmartPointer<vtkPoints>::New();
    vtkSmartPointer<vtkPolyData> marks = vtkSmartPointer<vtkPolyData>::New();
    vtkSmartPointer<vtkActor> markActor = vtkSmartPointer<vtkActor>::New();
    vtkSmartPointer<vtkLineSource> line = vtkSmartPointer<vtkLineSource>::New();
    vtkSmartPointer<vtkActor> lineActor = vtkSmartPointer<vtkActor>::New();
    vtkSmartPointer<vtkBillboardTextActor3D> label = vtkSmartPointer<vtkBillboardTextActor3D>::New();
};

RulerView::RulerView(CloudView& view) : view_(view), d_(new Actors) {
    Actors& a = *d_;
    a.marks->SetPoints(a.markPoints);
    a.marks->SetVerts(vtkSmartPointer<vtkCellArray>::New());
    auto markMapper = vtkSmartPointer<vtkPolyDataMapper>::New();
    markMapper->SetInputData(a.marks);
    a.markActor->SetMapper(markMapper);
    a.markActor->GetProperty()->SetColor(kRulerColour[0], kRulerColour[1], kRulerColour[2]);
    a.markActor->GetProperty()->SetPointSize(kMarkSizePx);
    a.markActor->PickableOff();

    auto lineMapper = vtkSmartPointer<vtkPolyDataMapper>::New();
    lineMapper->SetInputConnection(a.line->GetOutputPort());
    a.lineActor->SetMapper(lineMapper);
    a.lineActor->GetProperty()->SetColor(kRulerColour[0], kRulerColour[1], kRulerColour[2]);
    a.lineActor->GetProperty()->SetLineWidth(2.0f);
    a.lineActor->PickableOff();

    vtkTextProperty* t = a.label->GetTextProperty();
    t->SetFontSize(16);
    t->SetBold(1);
    t->SetColor(kRulerColour[0], kRulerColour[1], kRulerColour[2]);
    t->SetBackgroundColor(0.0, 0.0, 0.0);
    t->SetBackgroundOpacity(0.6);
    t->SetJustificationToCentered();
    t->SetVerticalJustificationToBottom();
    a.label->SetDisplayOffset(0, 8);
    a.label->PickableOff();

    a.markActor->VisibilityOff();
    a.lineActor->VisibilityOff();
    a.label->VisibilityOff();
    vtkRenderer* renderer = viewRenderer(view_);
    renderer->AddActor(a.markActor);
    renderer->AddActor(a.lineActor);
    renderer->AddActor(a.label);
}

RulerView::~RulerView() {
    vtkRenderer* renderer = viewRenderer(view_);
    renderer->RemoveActor(d_->markActor);
    renderer->RemoveActor(d_->lineActor);
    renderer->RemoveActor(d_->label);
}

std::optional<RulerPoint> RulerView::snap(ScreenPoint at) const {
    const Projector project = projector(view_);
    std::vector<ScreenPoint> projected;
    std::vector<RulerPoint> world;
    for (const auto& entry : *view_.impl().viewer->getCloudActorMap()) {
        vtkActor* actor = entry.second.actor;
        if (!actor || !actor->GetVisibility() || !actor->GetMapper()) continue;
        vtkDataSet* data = actor->GetMapper()->GetInput();
        if (!data) continue;
        const vtkIdType n = data->GetNumberOfPoints();
        for (vtkIdType i = 0; i < n; ++i) {
            double p[3];
            data->GetPoint(i, p);
            projected.push_back(project(p[0], p[1], p[2]));
            world.push_back({p[0], p[1], p[2]});
        }
    }
    const std::optional<std::size_t> nearest = nearestInScreen(projected, at);
    if (!nearest) return std::nullopt;
    return world[*nearest];
}

void RulerView::show(const Ruler& ruler) {
    Actors& a = *d_;
    a.markPoints->Reset();
    vtkCellArray* verts = a.marks->GetVerts();
    verts->Reset();
    for (const std::optional<RulerPoint>* p : {&ruler.a(), &ruler.b()}) {
        if (!*p) continue;
        const vtkIdType id = a.markPoints->InsertNextPoint((*p)->x, (*p)->y, (*p)->z);
        verts->InsertNextCell(1, &id);
    }
    a.markPoints->Modified();
    verts->Modified();
    a.marks->Modified();
    a.markActor->SetVisibility(ruler.a() ? 1 : 0);
    if (ruler.complete()) {
        const RulerPoint& p = *ruler.a();
        const RulerPoint& q = *ruler.b();
        a.line->SetPoint1(p.x, p.y, p.z);
        a.line->SetPoint2(q.x, q.y, q.z);
        a.label->SetPosition(0.5 * (p.x + q.x), 0.5 * (p.y + q.y), 0.5 * (p.z + q.z));
        a.label->SetInput(ruler.label().c_str());
    }
    a.lineActor->SetVisibility(ruler.complete() ? 1 : 0);
    a.label->SetVisibility(ruler.complete() ? 1 : 0);
    view_.renderNow();
}

int RulerView::marksShown() const { return d_->markActor->GetVisibility() ? int(d_->markPoints->GetNumberOfPoints()) : 0; }

bool RulerView::lineShown() const { return d_->lineActor->GetVisibility() != 0; }

std::string RulerView::labelShown() const {
    if (!d_->label->GetVisibility() || !d_->label->GetInput()) return std::string();
    return d_->label->GetInput();
}

}  // namespace kv
