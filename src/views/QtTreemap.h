#pragma once
// The treemap on screen: the catalogue of a tree-grid below one folder, as cushion-shaded tiles
// coloured by file type, framed by folder, with a legend of the types that take the most room.
//
// The widget draws and forwards the mouse; the layout is TreemapLayout's. A new picture is made
// in steps that never hold up input: the entries large enough to draw are gathered from the tree
// on the UI thread a few milliseconds at a time (the tree is the UI thread's alone), then a worker
// thread lays them out and shades the tiles into an image, reading only what was gathered, and
// the UI thread writes the names and the legend on it.
// The picture on screen stays until the next one is ready. Any change of the tree, the root, the
// size or the palette starts a new picture and drops the one in the making; the worker's result
// is taken only when it is still the one wanted. Tiles answer the mouse only while the picture
// on screen is of the tree as it is (its node numbers are still this tree's).

#include <QImage>
#include <QWidget>

#include <memory>
#include <string>

#include "views/TreemapLayout.h"
#include "views/ViewInterfaces.h"

class QTimer;

namespace folvane {

class QtTreemap final : public QWidget {
    Q_OBJECT
public:
    explicit QtTreemap(QWidget *parent = nullptr);
    ~QtTreemap() override;

    // The tree-grid whose catalogue is drawn.
    void SetSource(ITreeGrid *grid);
    // The folder whose contents fill the map.
    void SetRoot(NodeId root);
    NodeId Root() const { return root_; }
    // The entry drawn highlighted: its own tile, or that of the nearest folder above it that is drawn.
    void SetHighlight(NodeId node);
    NodeId Highlight() const { return highlight_; }

    // The source's tree is about to change / has changed (a new catalogue, a sort, a refresh):
    // the picture in the making is dropped and a new one made once the change is complete.
    void TreeChanging();
    void TreeChanged();

    // Whether the picture on screen is of the tree, the root and the size as they are now.
    bool Current() const;
    // The map the picture on screen was drawn from while its node numbers are this tree's.
    const TTreemap *Map() const;
    // The entry drawn at a point of the widget (a folder where the point is in its own area), or kNoNode.
    NodeId NodeAt(QPoint point) const;
    // Where the tile of a node (as SetHighlight finds it) is drawn in the widget; empty when nowhere.
    QRect TileRect(NodeId node) const;
    // The widget as it is drawn, encoded in the image format "PNG" or "BMP"; empty on failure.
    std::string Encode(const std::string &format);

    // Bytes held by the picture on screen: its map and its image.
    std::size_t PictureBytes() const;

signals:
    void TileClicked(NodeId node);
    // A double click on a folder's tile, or inside it on a tile of its own contents.
    void TileDoubleClicked(NodeId folder);
    // A context menu asked for on a tile (node) or on no tile (kNoNode), at a global position.
    void ContextMenuRequested(NodeId node, QPoint globalPos);
    // A new picture is on screen.
    void PictureReady();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void leaveEvent(QEvent *event) override;

public:
    // What a picture is made for; two pictures made for equal keys are the same.
    struct Key {
        NodeId root = kNoNode;
        int width = 0, height = 0;
        std::uint64_t generation = 0; // of the tree
        std::uint64_t look = 0;       // of the palette and font
        bool operator==(const Key &) const = default;
    };
    // The colours a picture is painted with, taken from the palette on the UI thread.
    struct Look {
        QRgb background, folder, hatch, frame, strip, stripText, text;
    };

private:
    struct Job;
    struct Picture;
    class Worker;

    Key wantedKey() const;
    TTreemapOptions optionsFor(const Key &key) const;
    Look look() const;
    template <typename F> void guarded(F &&f) noexcept;
    void schedule();
    void work();
    void makePicture();
    void takeResult();
    void install(std::unique_ptr<Picture> picture);
    void paint();
    void hover(QMouseEvent *event);
    void updateHighlight();
    // The picture's coordinates of a widget point, when tiles may answer it.
    bool toPicture(QPoint point, int &x, int &y) const;
    QRect toWidget(const TTileRect &rect) const;
    std::uint32_t tileAt(QPoint point) const;

    ITreeGrid *source_ = nullptr;
    NodeId root_ = kNoNode;
    NodeId highlight_ = kNoNode;
    std::uint32_t highlightTile_ = kNoTile;
    std::uint32_t hoverTile_ = kNoTile;
    std::uint64_t generation_ = 1;
    std::uint64_t look_ = 1;
    bool frozen_ = false; // between TreeChanging and TreeChanged
    bool ignoreRelease_ = false;
    QPoint pressedAt_;

    std::unique_ptr<Picture> shown_;
    std::unique_ptr<TTreemapGather> gather_;
    Key gatherKey_;
    std::uint64_t gatherSerial_ = 0;
    bool inFlight_ = false; // the worker has the job for gatherKey_
    std::uint64_t serial_ = 0;
    QTimer *timer_; // the next turn of work()
    QTimer *poll_;  // looks for the worker's picture
    std::unique_ptr<Worker> worker_;
};

// The two halves of painting a laid-out map. The tiles (on the worker: pixels only):
// cushion-shaded files coloured by type, folders framed, their own areas hatched and their name
// strips left blank. `stop` is asked now and then; a true answer ends the painting (null image).
QImage PaintTreemapTiles(const TTreemap &map, const TTreemapOptions &options, const QtTreemap::Look &look, QSize size,
                         const std::function<bool()> &stop = {});
// The text (on the UI thread, where Qt's fonts live): names in folders' strips and on files with
// room for them, and below the map a legend of the types that take the most room.
void PaintTreemapText(QImage &image, const TTreemap &map, const TTreemapOptions &options, const QtTreemap::Look &look,
                      const QFont &font);

} // namespace folvane
