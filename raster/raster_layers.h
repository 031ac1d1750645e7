#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <QRect>
#include <QString>

#include "raster/raster_types.h"

class QPainter;
class TImageList;
class TRasterLayer;
class TRasterLayers;
class TRasterObject;

// The data record of an annotation object: 620 bytes, little-endian, the
// same bytes as one record of the side file. Strings are code page 932,
// NUL-terminated within their field.
namespace ObjectRecord {
constexpr std::size_t kSize = 620;
constexpr std::size_t kLayerName = 0;  // meaningful only in the side file
constexpr std::size_t kName = 51;
constexpr std::size_t kNameField = 51;  // at most 50 bytes and the NUL
constexpr std::size_t kX = 102;
constexpr std::size_t kY = 106;
constexpr std::size_t kImageIndex = 110;
constexpr std::size_t kLayerMode = 114;  // meaningful only in the side file
constexpr std::size_t kText1 = 115;
constexpr std::size_t kMainText = 216;
constexpr std::size_t kAttributeText = 317;
constexpr std::size_t kText4 = 418;
constexpr std::size_t kText5 = 519;
constexpr std::size_t kTextField = 101;
constexpr std::size_t kMaxNameBytes = kNameField - 1;

using Bytes = std::array<std::uint8_t, kSize>;

// The bytes of the string field at offset up to its NUL (or its end).
std::string_view ReadString(const Bytes& record, std::size_t offset, std::size_t field);
// Stores text NUL-terminated at offset, cut to field - 1 bytes without
// splitting a double-byte character. The bytes after the NUL keep what
// they held, as in the files of the Windows program.
void WriteString(Bytes& record, std::size_t offset, std::size_t field, std::string_view text);
std::int32_t ReadInt32(const Bytes& record, std::size_t offset);
void WriteInt32(Bytes& record, std::size_t offset, std::int32_t value);
}  // namespace ObjectRecord

// The view that shows the layers, as far as they need it: where and with
// which icons their objects are drawn, its active layer, and where their
// changes go. The raster view provides one; layers without one are a
// plain model.
class TLayersHost {
public:
    virtual ~TLayersHost() = default;

    // Icons of objects in normal and selected state.
    virtual TImageList* StateImage() const = 0;
    virtual TImageList* SelectImage() const = 0;
    // Image to screen: (image - ViewLeft) / ScaleX + DispLeft, likewise
    // downwards.
    virtual double ViewLeft() const = 0;
    virtual double ViewTop() const = 0;
    virtual double ScaleX() const = 0;
    virtual double ScaleY() const = 0;
    virtual int DispLeft() const = 0;
    virtual int DispTop() const = 0;

    virtual TRasterLayer* ActiveLayer() const = 0;
    virtual void SetActiveLayer(TRasterLayer* layer) = 0;
    // The view's events.
    virtual void ActiveLayerChanged(TRasterLayer* layer) = 0;
    virtual void ActiveObjectChanged(TRasterObject* object) = 0;

    // The change mark of the annotations.
    virtual void SetModified(bool value) = 0;
    // The layer tree and the object list showing the layers.
    virtual void RebuildTreeView() = 0;
    virtual void RefreshListView() = 0;
    virtual void Repaint() = 0;
    virtual void Repaint(const QRect& area) = 0;
};

// A named marker at one image position, drawn as an icon of the view's
// StateImage (normal) or SelectImage (selected) list.
class TRasterObject {
public:
    explicit TRasterObject(TRasterLayer* layer);
    virtual ~TRasterObject();
    TRasterObject(const TRasterObject&) = delete;
    TRasterObject& operator=(const TRasterObject&) = delete;

    TRasterLayer* Layer() const { return layer_; }

    // The name is kept in the record as code page 932, at most 50 bytes.
    QString Name() const;
    void SetName(const QString& name);
    int X() const;
    void SetX(int value);
    int Y() const;
    void SetY(int value);
    int ImageIndex() const;
    void SetImageIndex(int value);
    // The texts of the object list's "主項目" and "属項目" columns.
    QString MainText() const;
    QString AttributeText() const;

    // 0 normal, 1 selected. A change repaints just the object's rectangle.
    int State() const { return state_; }
    void SetState(int value);

    // Where the object was last drawn, in screen coordinates. Valid only
    // after a draw at the current view.
    const QRect& Bounds() const { return bounds_; }
    // Strictly inside Bounds.
    bool HitTest(int px, int py) const;

    // Draws the icon stretched over an area of icon-size image pixels
    // centred on the marker, and remembers that area as Bounds.
    virtual void Draw(QPainter& canvas);

    // Clears the layer's selection, takes the object out of its layer and
    // frees it. The object must not be used afterwards.
    void Delete();

    const ObjectRecord::Bytes& Record() const { return *record_; }
    ObjectRecord::Bytes& Record() { return *record_; }

private:
    TLayersHost* Host() const;
    QRect ComputeBounds() const;

    TRasterLayer* layer_;
    QRect bounds_;
    int state_ = 0;
    std::unique_ptr<ObjectRecord::Bytes> record_;
};

enum TLayerOrder { loUp, loDown };

// An ordered list of objects with a name and a mode; owns its objects.
class TRasterLayer {
public:
    TRasterLayer(TRasterLayers* owner, const QString& name);
    ~TRasterLayer();
    TRasterLayer(const TRasterLayer&) = delete;
    TRasterLayer& operator=(const TRasterLayer&) = delete;

    TRasterLayers* Owner() const { return owner_; }
    TLayersHost* Host() const;

    const QString& Name() const { return name_; }
    // Sets the name without the uniqueness check of Rename.
    void SetName(const QString& name) { name_ = name; }
    TLayerMode Mode() const { return mode_; }
    // Keeps at most one layer active and raises OnActiveLayerChange when
    // this layer becomes the active one. Marks the view modified, except
    // while the side file is read.
    void SetMode(TLayerMode mode);

    int Count() const { return static_cast<int>(objects_.size()); }
    TRasterObject* Objects(int index) const { return objects_.at(static_cast<std::size_t>(index)).get(); }
    int IndexOf(const TRasterObject* object) const;

    TRasterObject* ActiveObject() const { return activeObject_; }
    void SetActiveObject(TRasterObject* object);

    // Appends, refreshes the object list and marks the view modified.
    TRasterObject* AddObject(std::unique_ptr<TRasterObject> object);
    // Appends an object read from the side file: no refresh, no change mark.
    TRasterObject* AppendStored(std::unique_ptr<TRasterObject> object);
    // False (name unchanged) when some layer already has exactly this name;
    // the tree is rebuilt and the view marked modified either way.
    bool Rename(const QString& name);
    // Takes the layer out of the collection and frees it with its objects.
    void Delete();
    // loUp moves towards the end of the collection (drawn later).
    void MoveOrder(TLayerOrder direction);
    // By name, order +1 ascending or -1 descending; equal names keep their order.
    void SortObjects(int order);

private:
    friend class TRasterObject;
    std::unique_ptr<TRasterObject> Extract(TRasterObject* object);

    TRasterLayers* owner_;
    QString name_;
    TLayerMode mode_ = lmVisible;
    TRasterObject* activeObject_ = nullptr;
    std::vector<std::unique_ptr<TRasterObject>> objects_;
};

// The layers of the shown image in drawing order (index 0 lowest); owns
// them. At most one layer is lmActive; it is the view's ActiveLayer.
// Without a view (host null) they are a plain model: no events, no
// change mark, nothing to repaint.
class TRasterLayers {
public:
    // While one lives, mode changes keep the view's ActiveLayer up to date
    // themselves and leave the tree alone: a reader that adds many layers
    // rebuilds the tree once at the end, not once per layer.
    class TBulkLoad {
    public:
        explicit TBulkLoad(TRasterLayers& layers) : layers_(layers), previous_(layers.bulkLoading_) {
            layers_.bulkLoading_ = true;
        }
        ~TBulkLoad() { layers_.bulkLoading_ = previous_; }
        TBulkLoad(const TBulkLoad&) = delete;
        TBulkLoad& operator=(const TBulkLoad&) = delete;

    private:
        TRasterLayers& layers_;
        bool previous_;
    };

    explicit TRasterLayers(TLayersHost* host);
    ~TRasterLayers();
    TRasterLayers(const TRasterLayers&) = delete;
    TRasterLayers& operator=(const TRasterLayers&) = delete;

    TLayersHost* Host() const { return host_; }
    // Set while the previously active layer is being demoted.
    bool Updating() const { return updating_; }

    int Count() const { return static_cast<int>(layers_.size()); }
    TRasterLayer* Items(int index) const { return layers_.at(static_cast<std::size_t>(index)).get(); }
    int IndexOf(const TRasterLayer* layer) const;
    // The first layer with exactly this name, or null.
    TRasterLayer* Find(const QString& name) const;

    // Appends a visible layer named "新規レイヤ", or that name followed by
    // the first free counter 1, 2, ...; rebuilds the tree; marks modified.
    TRasterLayer* NewLayer();
    // Appends a layer without further effects (the side-file reader).
    TRasterLayer* Append(std::unique_ptr<TRasterLayer> layer);
    // Frees every layer and object.
    void Clear();

private:
    friend class TRasterLayer;
    // The view's active layer; without a view, the layer other than
    // besides that is lmActive.
    TRasterLayer* ActiveLayer(const TRasterLayer* besides = nullptr) const;
    std::unique_ptr<TRasterLayer> Extract(TRasterLayer* layer);
    void Move(int from, int to);

    TLayersHost* host_;
    bool updating_ = false;
    bool bulkLoading_ = false;
    std::vector<std::unique_ptr<TRasterLayer>> layers_;
};
