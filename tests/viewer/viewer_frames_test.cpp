// The way from a frame thread to the screen: the mailbox, the strip, the
// rendering and the canvas's pixel readout, and a live strip of real frames.

#include "framesink.h"
#include "imagecanvas.h"
#include "linestrip.h"
#include "viewerfixture.h"

#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <thread>
#include <vector>

using namespace viewertest;

namespace {

ImageProcessData record(int id, int rows, int cols = 8)
{
    ImageProcessData d;
    d.productID = id;
    d.image = cv::Mat(rows, cols, CV_8UC1, cv::Scalar(id & 0xFF));
    return d;
}

// A frame whose line i holds (first + i) & 0xFF, in every column.
cv::Mat lines(int first, int rows, int cols = 6)
{
    cv::Mat m(rows, cols, CV_8UC1);
    for (int r = 0; r < rows; ++r)
        m.row(r).setTo(cv::Scalar((first + r) & 0xFF));
    return m;
}

} // namespace

TEST(FrameSink, NewestWinsAcrossFrameThreadsAndOneNoticeIsPending)
{
    FrameSink sink;
    QSignalSpy notices(&sink, &FrameSink::framesWaiting);
    constexpr int kPerThread = 4000;
    std::vector<std::thread> threads;
    for (int t = 0; t < 2; ++t)
        threads.emplace_back([&sink, t] {
            for (int i = 1; i <= kPerThread; ++i)
                sink.onFrame(record(t * kPerThread + i, 4));
        });
    for (std::thread &t : threads)
        t.join();
    EXPECT_EQ(notices.count(), 1);
    EXPECT_EQ(sink.received(), quint64(2 * kPerThread));
    EXPECT_EQ(sink.receivedBytes(), quint64(2 * kPerThread * 4 * 8));
    EXPECT_EQ(sink.replaced(), quint64(2 * kPerThread - 1));
    std::vector<ImageProcessData> taken = sink.take();
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_TRUE(taken[0].productID == kPerThread || taken[0].productID == 2 * kPerThread);
    EXPECT_TRUE(sink.take().empty());
    sink.onFrame(record(1, 4));
    EXPECT_EQ(notices.count(), 2);
}

TEST(FrameSink, AStripKeepsTheNewestFramesThatCoverItsLines)
{
    FrameSink sink;
    sink.setHistoryRows(100);
    for (int id = 1; id <= 20; ++id)
        sink.onFrame(record(id, 30));
    std::vector<ImageProcessData> taken = sink.take();
    // 30 + 30 + 30 fall short of 100 lines: four frames, oldest first.
    ASSERT_EQ(taken.size(), 4u);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(taken[i].productID, 17 + i);
    sink.setHistoryRows(0);
    sink.onFrame(record(21, 30));
    sink.onFrame(record(22, 30));
    taken = sink.take();
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_EQ(taken[0].productID, 22);
}

TEST(LineStrip, KeepsTheLastLinesInOrderWithoutCopying)
{
    LineStrip strip;
    strip.setCapacity(10);
    EXPECT_TRUE(strip.bands().empty());
    strip.append(lines(0, 4));
    EXPECT_EQ(strip.lines(), 4);
    ASSERT_EQ(strip.bands().size(), 1u);
    for (int first = 4; first < 23; first += 4)
        strip.append(lines(first, 4));  // 24 lines in all: 14 .. 23 stay
    EXPECT_EQ(strip.lines(), 10);
    int total = 0;
    for (const cv::Mat &b : strip.bands())
        total += b.rows;
    EXPECT_EQ(total, 10);
    EXPECT_EQ(strip.bands().size(), 3u);  // 2 lines of one frame, then two whole frames
    cv::Mat all = strip.toMat();
    ASSERT_EQ(all.rows, 10);
    for (int r = 0; r < 10; ++r)
        EXPECT_EQ(all.at<uchar>(r, 3), 14 + r) << r;

    // The strip shares the frames' pixels.
    const cv::Mat shared = lines(50, 4);
    strip.append(shared);
    EXPECT_EQ(strip.bands().back().data, shared.data);
    // A frame taller than the strip leaves its own last lines.
    strip.append(lines(100, 25));
    all = strip.toMat();
    for (int r = 0; r < 10; ++r)
        EXPECT_EQ(all.at<uchar>(r, 0), 115 + r);
    // Another width starts over.
    strip.append(lines(7, 3, 9));
    EXPECT_EQ(strip.lines(), 3);
    EXPECT_EQ(strip.toMat().cols, 9);
    EXPECT_EQ(strip.toMat().at<uchar>(0, 8), 7);
}

TEST(Rendering, EveryPixelShownIsThePixelTheReadoutNames)
{
    // Two bands, as a strip's ring gives them; each pixel encodes where it is.
    cv::Mat top(7, 40, CV_8UC3), bottom(13, 40, CV_8UC3);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 40; ++x) {
            cv::Mat &m = y < 7 ? top : bottom;
            m.at<cv::Vec3b>(y < 7 ? y : y - 7, x) = cv::Vec3b(uchar(x), uchar(y), uchar(200));
        }
    ImageCanvas canvas;
    canvas.resize(240, 120);
    canvas.setImage(BandedImage(std::vector<cv::Mat>{top, bottom}), 1);
    ASSERT_DOUBLE_EQ(canvas.zoom(), 6.0);  // fits exactly
    canvas.zoomBy(0.5, QPointF(0, 0));
    canvas.panBy(QPointF(-6, -6));  // whole image pixels: the origin moves by (2, 2)
    ASSERT_DOUBLE_EQ(canvas.zoom(), 3.0);
    ASSERT_EQ(canvas.origin(), QPointF(2, 2));
    const RenderedView view = renderView(canvas.image(), canvas.zoom(), canvas.origin(), canvas.size());
    ASSERT_FALSE(view.image.isNull());
    EXPECT_EQ(view.image.size(), QSize(38 * 3, 18 * 3));
    int checked = 0;
    for (int y = 0; y < view.image.height(); ++y)
        for (int x = 0; x < view.image.width(); ++x) {
            const QPoint at = view.at + QPoint(x, y);
            const QPoint px = canvas.imagePixel(QPointF(at) + QPointF(0.5, 0.5));
            ASSERT_GE(px.x(), 0);
            const QRgb c = view.image.pixel(x, y);
            ASSERT_EQ(qRed(c), px.x()) << x << "," << y;
            ASSERT_EQ(qGreen(c), px.y()) << x << "," << y;
            ++checked;
        }
    EXPECT_EQ(checked, 38 * 3 * 18 * 3);
    const QPoint px = canvas.imagePixel(QPointF(31.5, 31.5));  // image pixel (12, 12), in the second band
    EXPECT_EQ(px, QPoint(12, 12));
    EXPECT_EQ(canvas.readout(px), QStringLiteral("x 12  y 12  R 12 G 12 B 200"));
    EXPECT_TRUE(canvas.readout(QPoint(40, 0)).isEmpty());
}

TEST(Rendering, FitShowsTheWholeImageAndZoomKeepsThePointUnderTheCursor)
{
    ImageCanvas canvas;
    canvas.resize(200, 100);
    canvas.setImage(BandedImage(std::vector<cv::Mat>{cv::Mat(100, 400, CV_8UC1, cv::Scalar(9))}), 1);
    EXPECT_TRUE(canvas.isFit());
    EXPECT_DOUBLE_EQ(canvas.zoom(), 0.5);
    EXPECT_EQ(canvas.imagePixel(QPointF(0.2, 25.2)), QPoint(0, 0));      // centred: 25 lines above
    EXPECT_EQ(canvas.imagePixel(QPointF(199.9, 74.9)), QPoint(399, 99));
    EXPECT_EQ(canvas.imagePixel(QPointF(100, 10)), QPoint(-1, -1));      // above the image
    const RenderedView fit = renderView(canvas.image(), canvas.zoom(), canvas.origin(), canvas.size());
    EXPECT_EQ(fit.at, QPoint(0, 25));
    EXPECT_EQ(fit.image.size(), QSize(200, 50));
    EXPECT_EQ(qGray(fit.image.pixel(100, 20)), 9);

    const QPoint before = canvas.imagePixel(QPointF(150, 60));
    canvas.zoomBy(4.0, QPointF(150, 60));
    EXPECT_FALSE(canvas.isFit());
    EXPECT_EQ(canvas.imagePixel(QPointF(150, 60)), before);
    canvas.setFit();
    EXPECT_DOUBLE_EQ(canvas.zoom(), 0.5);
}

// ------------------------------------------------------- a live strip

class LiveStrip : public ViewerTest
{
};

TEST_F(LiveStrip, StacksConsecutiveFramesNewestLast)
{
    CameraSession *s = open(kMono);
    ASSERT_NE(s, nullptr);
    s->setRunning(true);  // every frame, not a thinned preview
    LiveView *view = window->view(kMono);
    view->setStripLines(640);
    view->setStripMode(true);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    ASSERT_TRUE(waitUntil([&] { return view->stripMode() && view->shownImage().rows == 640; }, 10000));
    ASSERT_TRUE(waitUntil([&] { return view->framesPainted() >= 3; }));
    const cv::Mat strip = view->shownImage();
    ASSERT_EQ(strip.cols, 640);
    // Frames are 64 lines; the simulator writes each frame's id into its first four bytes.
    std::vector<quint32> ids;
    for (int r = 0; r < strip.rows; r += 64) {
        quint32 id = 0;
        std::memcpy(&id, strip.ptr<uchar>(r), 4);
        ids.push_back(id);
    }
    ASSERT_EQ(ids.size(), 10u);
    for (size_t i = 1; i < ids.size(); ++i)
        EXPECT_EQ(ids[i], ids[i - 1] + 1) << "strip rows " << i * 64;
    EXPECT_LE(view->framesPainted(), s->sink()->received());

    // Save image writes what is shown: the strip, or the frame.
    QTemporaryDir dir;
    QString error;
    const QString stripFile = dir.filePath(QStringLiteral("strip.png"));
    ASSERT_TRUE(view->saveImage(stripFile, error)) << error.toStdString();
    EXPECT_EQ(QImage(stripFile).size(), QSize(640, 640));
    view->setStripMode(false);
    const QString frameFile = dir.filePath(QStringLiteral("frame.png"));
    ASSERT_TRUE(view->saveImage(frameFile, error)) << error.toStdString();
    const QImage frame(frameFile);
    EXPECT_EQ(frame.size(), QSize(640, 64));
    EXPECT_EQ(qGray(frame.pixel(300, 20)), view->lastFrame().image.at<uchar>(20, 300));
    EXPECT_FALSE(view->saveImage(dir.filePath(QStringLiteral("no/such/dir/x.png")), error));
    EXPECT_FALSE(error.isEmpty());
}

TEST_F(LiveStrip, ColourFramesAreSavedWithTheirColours)
{
    CameraSession *s = open(kColour);
    ASSERT_NE(s, nullptr);
    // Colour on, then Apply: the camera delivers RGB.
    const QVector<ParamWrap *> list = descriptors(s);
    for (ParamWrap *p : list)
        if (p->typeName() == QLatin1String("CheckBoxParam") && static_cast<RadioBoxParam *>(p)->names[0] == QStringLiteral("彩色图像"))
            static_cast<RadioBoxParam *>(p)->values[0] = true;
    s->apply();
    LiveView *view = window->view(kColour);
    window->show();
    ASSERT_TRUE(waitUntil([&] { return view->lastFrame().image.channels() == 3; }));
    QTemporaryDir dir;
    QString error;
    const QString file = dir.filePath(QStringLiteral("colour.png"));
    ASSERT_TRUE(view->saveImage(file, error)) << error.toStdString();
    const QImage saved(file);
    // A pixel whose red and blue differ tells RGB from BGR.
    const cv::Mat shown = view->lastFrame().image;
    int x = -1, y = -1;
    for (int r = 0; r < shown.rows && x < 0; ++r)
        for (int c = 0; c < shown.cols && x < 0; ++c)
            if (shown.at<cv::Vec3b>(r, c)[0] != shown.at<cv::Vec3b>(r, c)[2]) {
                x = c;
                y = r;
            }
    ASSERT_GE(x, 0) << "no pixel tells RGB from BGR";
    const cv::Vec3b rgb = shown.at<cv::Vec3b>(y, x);
    const QRgb px = saved.pixel(x, y);
    EXPECT_EQ(qRed(px), rgb[0]);
    EXPECT_EQ(qGreen(px), rgb[1]);
    EXPECT_EQ(qBlue(px), rgb[2]);
    EXPECT_EQ(window->listedSerials(), QStringList({kColour, kMono}));
    EXPECT_EQ(window->deviceCount(), 3);
}
