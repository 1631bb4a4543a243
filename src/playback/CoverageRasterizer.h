#pragma once

#include <QColor>
#include <QPointF>
#include <QRect>
#include <QRgb>

#include <array>
#include <functional>
#include <span>
#include <vector>

class QImage;

namespace orvelo {

// Anti-aliased drawing straight into a premultiplied ARGB32 (or RGB32) image, for the pattern
// strokes: QPainter's anti-aliased rasteriser takes about a millisecond for one wide ring or
// trace at 1080p, and a pattern strokes up to fifteen of them per frame.
//
// Shapes are polygons with exact area coverage per pixel. Contours add up with their
// direction: a region inside contours of opposite directions is a hole (a stroke is its outer
// edge plus its inner edge reversed), and overlapping contours of one direction cover once.
// Not thread-safe: one per thread of use.
class CoverageRasterizer {
public:
    static constexpr int maxLayers = 8;

    // Starts a new shape on a `width` x `height` pixel area; what lies outside is cut off.
    void reset(int width, int height);

    // Adds a closed contour (the last point joins the first). A contour with a non-finite
    // point is dropped.
    void addContour(std::span<const QPointF> points);
    void addDisc(QPointF centre, double radius);

    // Blends the shape in `colour` onto `image` (at least the area's size) and starts it afresh.
    void fill(QImage& image, const QColor& colour);
    // The same with the colour given per pixel row, premultiplied (vertical gradients).
    void fill(QImage& image, const std::function<QRgb(int row)>& premultipliedColourOfRow);

    // Strokes drawn straight onto `image` as layers on one centre line, blended in order in
    // one pass over the pixels, at most maxLayers of them.
    struct StrokeLayer {
        double width;
        QColor colour;
    };
    // Along the graph of a function of x (points in increasing x), with flat ends: each layer
    // is the band between the graph shifted up and down by its half width measured across the
    // local slope. Drawn column by column, a trace over the whole width costs a fraction of a
    // general polygon fill.
    static void strokeGraph(QImage& image, std::span<const QPointF> graph, std::span<const StrokeLayer> layers);
    // Along a polyline (closed: the last point joins the first), each layer being the points
    // within half its width of the line (round joins and ends), row by row through the band
    // the widest layer covers.
    static void strokePolyline(QImage& image, std::span<const QPointF> points, bool closed,
                               std::span<const StrokeLayer> layers);
    // Along a circle, row by row through the ring the widest layer covers.
    static void strokeCircle(QImage& image, QPointF centre, double radius, std::span<const StrokeLayer> layers);

    // Blends a premultiplied colour over the pixels of `rect` (clipped to the image).
    static void blendRect(QImage& image, QRect rect, QRgb premultiplied);

private:
    // What an edge piece inside pixel column x adds: `area` to pixel x itself and `cover` to
    // every pixel right of it. Summed along the row this is the signed area covered.
    struct Cell {
        int x;
        float area;
        float cover;
    };

    void addEdge(double x0, double y0, double x1, double y1);
    void addRowPiece(std::vector<Cell>& cells, double xa, double xb, double dy);
    void blend(QImage& image, const std::function<QRgb(int row)>& colourOfRow);
    void circle(std::vector<QPointF>& out, QPointF centre, double radius) const;

    int width_ = 0;
    int height_ = 0;
    std::vector<std::vector<Cell>> rows_;
    int firstRow_ = 0; // rows touched since reset: [firstRow_, endRow_)
    int endRow_ = 0;
    std::vector<QPointF> scratch_;
};

} // namespace orvelo
