#include "raster/raster_layers.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include <QScopedValueRollback>
#include <QPainter>

#include "platform/code_page.h"
#include "raster/image_list.h"

namespace ObjectRecord {

std::string_view ReadString(const Bytes& record, std::size_t offset, std::size_t field) {
    const char* start = reinterpret_cast<const char*>(record.data() + offset);
    return std::string_view(start, strnlen(start, field));
}

void WriteString(Bytes& record, std::size_t offset, std::size_t field, std::string_view text) {
    const std::size_t length = platform::CodePage932Prefix(text, field - 1);
    std::memcpy(record.data() + offset, text.data(), length);
    record[offset + length] = 0;
}

std::int32_t ReadInt32(const Bytes& record, std::size_t offset) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | record[offset + static_cast<std::size_t>(i)];
    return static_cast<std::int32_t>(value);
}

void WriteInt32(Bytes& record, std::size_t offset, std::int32_t value) {
    auto bits = static_cast<std::uint32_t>(value);
    for (std::size_t i = 0; i < 4; ++i, bits >>= 8)
        record[offset + i] = static_cast<std::uint8_t>(bits & 0xFF);
}

}  // namespace ObjectRecord

namespace {

// Nearest, halves to even: the rounding of every screen/image conversion.
int RoundToInt(double value) { return static_cast<int>(std::nearbyint(value)); }

// Markers far outside the view keep screen coordinates this far out: well
// beyond any client area, and far enough from the limits of int that the
// sizes and offsets computed from them cannot overflow. A marker may sit
// anywhere in the int range of image coordinates (the side file says so),
// which zoomed in lies far beyond what an int holds on screen.
constexpr double kFarOutside = 1 << 24;

int ScreenCoordinate(double value) { return RoundToInt(std::clamp(value, -kFarOutside, kFarOutside)); }

}  // namespace

// --- TRasterObject ----------------------------------------------------------

TRasterObject::TRasterObject(TRasterLayer* layer)
    : layer_(layer), record_(std::make_unique<ObjectRecord::Bytes>()) {
    record_->fill(0);
}

TRasterObject::~TRasterObject() = default;

TLayersHost* TRasterObject::Host() const { return layer_->Host(); }

QString TRasterObject::Name() const {
    return platform::FromCodePage932(
        ObjectRecord::ReadString(*record_, ObjectRecord::kName, ObjectRecord::kNameField));
}

void TRasterObject::SetName(const QString& name) {
    const std::string encoded = platform::ToCodePage932(name);
    const std::string_view stored(encoded.data(),
                                  platform::CodePage932Prefix(encoded, ObjectRecord::kMaxNameBytes));
    if (stored == ObjectRecord::ReadString(*record_, ObjectRecord::kName, ObjectRecord::kNameField)) return;
    ObjectRecord::WriteString(*record_, ObjectRecord::kName, ObjectRecord::kNameField, stored);
}

int TRasterObject::X() const { return ObjectRecord::ReadInt32(*record_, ObjectRecord::kX); }

void TRasterObject::SetX(int value) {
    if (value != X()) ObjectRecord::WriteInt32(*record_, ObjectRecord::kX, value);
}

int TRasterObject::Y() const { return ObjectRecord::ReadInt32(*record_, ObjectRecord::kY); }

void TRasterObject::SetY(int value) {
    if (value != Y()) ObjectRecord::WriteInt32(*record_, ObjectRecord::kY, value);
}

int TRasterObject::ImageIndex() const { return ObjectRecord::ReadInt32(*record_, ObjectRecord::kImageIndex); }

void TRasterObject::SetImageIndex(int value) {
    if (value != ImageIndex()) ObjectRecord::WriteInt32(*record_, ObjectRecord::kImageIndex, value);
}

QString TRasterObject::MainText() const {
    return platform::FromCodePage932(
        ObjectRecord::ReadString(*record_, ObjectRecord::kMainText, ObjectRecord::kTextField));
}

QString TRasterObject::AttributeText() const {
    return platform::FromCodePage932(
        ObjectRecord::ReadString(*record_, ObjectRecord::kAttributeText, ObjectRecord::kTextField));
}

void TRasterObject::SetState(int value) {
    if (value == state_) return;
    state_ = value;
    // Only the object's own rectangle needs painting again.
    if (TLayersHost* host = Host()) host->Repaint(ComputeBounds());
}

bool TRasterObject::HitTest(int px, int py) const {
    return bounds_.left() < px && px < bounds_.left() + bounds_.width() && bounds_.top() < py &&
           py < bounds_.top() + bounds_.height();
}

QRect TRasterObject::ComputeBounds() const {
    const TLayersHost* host = Host();
    const TImageList* icons = host->StateImage();
    if (icons == nullptr || host->ScaleX() == 0 || host->ScaleY() == 0) return QRect();
    // The icon covers icon-size image pixels centred on the marker, so it
    // grows and shrinks with the zoom.
    const double w = icons->Width();
    const double h = icons->Height();
    const double dx = X() - host->ViewLeft();
    const double dy = Y() - host->ViewTop();
    const int left = ScreenCoordinate(std::nearbyint((dx - w / 2) / host->ScaleX()) + host->DispLeft());
    const int top = ScreenCoordinate(std::nearbyint((dy - h / 2) / host->ScaleY()) + host->DispTop());
    const int right = ScreenCoordinate(std::nearbyint((dx + w / 2) / host->ScaleX()) + host->DispLeft());
    const int bottom = ScreenCoordinate(std::nearbyint((dy + h / 2) / host->ScaleY()) + host->DispTop());
    return QRect(left, top, right - left, bottom - top);
}

void TRasterObject::Draw(QPainter& canvas) {
    bounds_ = ComputeBounds();
    const TLayersHost* host = Host();
    const TImageList* icons = state_ == 1 ? host->SelectImage() : host->StateImage();
    if (icons != nullptr && !bounds_.isEmpty()) icons->Draw(canvas, bounds_, ImageIndex());
}

void TRasterObject::Delete() {
    TRasterLayer* layer = layer_;
    TLayersHost* host = Host();
    layer->SetActiveObject(nullptr);
    const std::unique_ptr<TRasterObject> self = layer->Extract(this);
    if (host == nullptr) return;
    host->RefreshListView();
    host->SetModified(true);
    host->Repaint();
}

// --- TRasterLayer -----------------------------------------------------------

TRasterLayer::TRasterLayer(TRasterLayers* owner, const QString& name) : owner_(owner), name_(name) {}

TRasterLayer::~TRasterLayer() = default;

TLayersHost* TRasterLayer::Host() const { return owner_->Host(); }

int TRasterLayer::IndexOf(const TRasterObject* object) const {
    const auto found = std::find_if(objects_.begin(), objects_.end(),
                                    [object](const auto& candidate) { return candidate.get() == object; });
    return found == objects_.end() ? -1 : static_cast<int>(found - objects_.begin());
}

void TRasterLayer::SetActiveObject(TRasterObject* object) {
    if (object == activeObject_) return;
    activeObject_ = object;
    if (TLayersHost* host = Host()) host->ActiveObjectChanged(object);
}

void TRasterLayer::SetMode(TLayerMode mode) {
    if (mode == mode_) return;
    TLayersHost* host = Host();
    if (TRasterLayer* active = owner_->ActiveLayer(); active != nullptr && active->ActiveObject() != nullptr)
        active->ActiveObject()->SetState(0);
    mode_ = mode;
    if (owner_->updating_) return;
    if (mode == lmActive) {
        if (TRasterLayer* previous = owner_->ActiveLayer(this); previous != nullptr) {
            const QScopedValueRollback<bool> updating(owner_->updating_, true);
            previous->SetMode(lmVisible);
        }
        if (host != nullptr) host->ActiveLayerChanged(this);
    }
    if (host == nullptr) return;
    if (owner_->bulkLoading_) {
        if (mode == lmActive)
            host->SetActiveLayer(this);
        else if (host->ActiveLayer() == this)
            host->SetActiveLayer(nullptr);
        return;
    }
    // The mode is kept in the side file: a change to it alone must be
    // written at close like any other.
    host->SetModified(true);
    host->RebuildTreeView();
    host->Repaint();
}

TRasterObject* TRasterLayer::AddObject(std::unique_ptr<TRasterObject> object) {
    TRasterObject* added = AppendStored(std::move(object));
    TLayersHost* host = Host();
    if (host == nullptr) return added;
    host->RefreshListView();
    host->SetModified(true);
    return added;
}

TRasterObject* TRasterLayer::AppendStored(std::unique_ptr<TRasterObject> object) {
    objects_.push_back(std::move(object));
    return objects_.back().get();
}

std::unique_ptr<TRasterObject> TRasterLayer::Extract(TRasterObject* object) {
    const int index = IndexOf(object);
    if (index < 0) return nullptr;
    if (activeObject_ == object) activeObject_ = nullptr;
    std::unique_ptr<TRasterObject> taken = std::move(objects_[static_cast<std::size_t>(index)]);
    objects_.erase(objects_.begin() + index);
    return taken;
}

bool TRasterLayer::Rename(const QString& name) {
    const bool free = owner_->Find(name) == nullptr;
    if (free) name_ = name;
    TLayersHost* host = Host();
    if (host == nullptr) return free;
    host->RebuildTreeView();
    host->SetModified(true);
    return free;
}

void TRasterLayer::Delete() {
    TLayersHost* host = Host();
    const std::unique_ptr<TRasterLayer> self = owner_->Extract(this);
    if (host == nullptr) return;
    host->RebuildTreeView();
    host->SetModified(true);
    host->Repaint();
}

void TRasterLayer::MoveOrder(TLayerOrder direction) {
    const int index = owner_->IndexOf(this);
    if (direction == loUp && index + 1 < owner_->Count()) owner_->Move(index, index + 1);
    if (direction == loDown && index > 0) owner_->Move(index, index - 1);
    TLayersHost* host = Host();
    if (host == nullptr) return;
    host->RebuildTreeView();
    host->SetModified(true);
    host->Repaint();
}

namespace {

// Ordinal comparison of the stored (code page 932) names: the order the
// bytes give, case-sensitive.
int CompareNames(const TRasterObject& a, const TRasterObject& b) {
    const std::string_view left =
        ObjectRecord::ReadString(a.Record(), ObjectRecord::kName, ObjectRecord::kNameField);
    const std::string_view right =
        ObjectRecord::ReadString(b.Record(), ObjectRecord::kName, ObjectRecord::kNameField);
    const int result = left.compare(right);
    return result < 0 ? -1 : (result > 0 ? 1 : 0);
}

}  // namespace

void TRasterLayer::SortObjects(int order) {
    // Stable: the object list sorts on every refresh, and markers of one
    // name must not trade places (and rewrite the side file) each time.
    std::stable_sort(objects_.begin(), objects_.end(), [order](const auto& a, const auto& b) {
        return CompareNames(*a, *b) * order < 0;
    });
}

// --- TRasterLayers ----------------------------------------------------------

TRasterLayers::TRasterLayers(TLayersHost* host) : host_(host) {}

TRasterLayers::~TRasterLayers() = default;

int TRasterLayers::IndexOf(const TRasterLayer* layer) const {
    const auto found = std::find_if(layers_.begin(), layers_.end(),
                                    [layer](const auto& candidate) { return candidate.get() == layer; });
    return found == layers_.end() ? -1 : static_cast<int>(found - layers_.begin());
}

TRasterLayer* TRasterLayers::Find(const QString& name) const {
    const auto found = std::find_if(layers_.begin(), layers_.end(),
                                    [&name](const auto& layer) { return layer->Name() == name; });
    return found == layers_.end() ? nullptr : found->get();
}

TRasterLayer* TRasterLayers::NewLayer() {
    const QString base = QStringLiteral("新規レイヤ");
    QString name = base;
    for (int counter = 1; Find(name) != nullptr; ++counter) name = base + QString::number(counter);
    TRasterLayer* layer = Append(std::make_unique<TRasterLayer>(this, name));
    if (host_ == nullptr) return layer;
    host_->RebuildTreeView();
    host_->SetModified(true);
    return layer;
}

TRasterLayer* TRasterLayers::Append(std::unique_ptr<TRasterLayer> layer) {
    layers_.push_back(std::move(layer));
    return layers_.back().get();
}

void TRasterLayers::Clear() {
    if (host_ != nullptr) host_->SetActiveLayer(nullptr);
    layers_.clear();
}

TRasterLayer* TRasterLayers::ActiveLayer(const TRasterLayer* besides) const {
    if (host_ != nullptr) return host_->ActiveLayer();
    const auto found = std::find_if(layers_.begin(), layers_.end(), [besides](const auto& layer) {
        return layer.get() != besides && layer->Mode() == lmActive;
    });
    return found == layers_.end() ? nullptr : found->get();
}

std::unique_ptr<TRasterLayer> TRasterLayers::Extract(TRasterLayer* layer) {
    const int index = IndexOf(layer);
    if (index < 0) return nullptr;
    std::unique_ptr<TRasterLayer> taken = std::move(layers_[static_cast<std::size_t>(index)]);
    layers_.erase(layers_.begin() + index);
    return taken;
}

void TRasterLayers::Move(int from, int to) {
    auto first = layers_.begin();
    if (from < to)
        std::rotate(first + from, first + from + 1, first + to + 1);
    else
        std::rotate(first + to, first + from, first + from + 1);
}
