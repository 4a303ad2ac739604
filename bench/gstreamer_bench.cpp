// vandrelsrc ! fakesink sync=false against vandrel-host, on the same two
// simulated 16k cameras, in turns within one run: frames per second, GB/s,
// the ratio, and the frames vandrelsrc copied.
//
//   gstreamer_bench [--seconds S] [--turns N]

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <glib/gstdio.h>
#include <gst/gst.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kWidth = 16384;
constexpr int kHeight = 512;
const char *const kSerials[] = {"BENCHXG16K01", "BENCHXG16K02"};

struct Figures
{
    double framesPerSecond = 0;
    double gigabytesPerSecond = 0;
};

std::string writeSimConfig()
{
    const std::string path = std::string(g_get_tmp_dir()) + "/vandrel-gstreamer-bench-" + std::to_string(getpid()) + ".json";
    std::string json = "{\"devices\": [";
    for (int i = 0; i < 2; ++i) {
        json += std::string(i ? "," : "") + "{\"productName\": \"VD-XG8K-M\", \"serialNumber\": \"" + kSerials[i]
                + "\", \"sensorWidth\": " + std::to_string(kWidth) + ", \"sensorHeight\": 4096, \"frameHeight\": "
                + std::to_string(kHeight) + ", \"mono\": true, \"frameRate\": 0}";
    }
    json += "]}";
    if (!g_file_set_contents(path.c_str(), json.c_str(), gssize(json.size()), nullptr)) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(1);
    }
    return path;
}

Figures hostTurn(const std::string &simConfig, double seconds)
{
    const std::string command = std::string("'" VANDREL_HOST_PATH "' grab --json --sim-config '") + simConfig
                                + "' --seconds " + std::to_string(seconds) + " --camera " + kSerials[0]
                                + " --camera " + kSerials[1] + " 2>/dev/null";
    FILE *out = popen(command.c_str(), "r");
    if (!out) {
        std::perror("popen");
        std::exit(1);
    }
    QByteArray text;
    char chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, out)) > 0)
        text.append(chunk, int(n));
    if (pclose(out) != 0) {
        std::fprintf(stderr, "vandrel-host failed:\n%s\n", text.constData());
        std::exit(1);
    }
    const QJsonObject summary = QJsonDocument::fromJson(text).object();
    double frames = 0, bytes = 0;
    for (const QJsonValue &c : summary.value(QStringLiteral("cameras")).toArray()) {
        const QJsonObject o = c.toObject();
        const double f = o.value(QStringLiteral("frames")).toDouble();
        frames += f;
        bytes += f * o.value(QStringLiteral("width")).toDouble() * o.value(QStringLiteral("height")).toDouble()
                 * o.value(QStringLiteral("channels")).toDouble();
    }
    const double s = summary.value(QStringLiteral("seconds")).toDouble();
    return {frames / s, bytes / s / 1e9};
}

struct Counter
{
    std::atomic<guint64> frames{0};
    std::atomic<guint64> bytes{0};
};

GstPadProbeReturn count(GstPad *, GstPadProbeInfo *info, gpointer data)
{
    auto *c = static_cast<Counter *>(data);
    ++c->frames;
    c->bytes += gst_buffer_get_size(GST_PAD_PROBE_INFO_BUFFER(info));
    return GST_PAD_PROBE_OK;
}

Figures gstreamerTurn(const std::string &simConfig, double seconds, guint64 &copied, guint64 &dropped,
                      guint64 &frames)
{
    std::string description;
    for (int i = 0; i < 2; ++i)
        description += std::string("vandrelsrc name=src") + std::to_string(i) + " serial=" + kSerials[i]
                       + " sim-config=\"" + simConfig + "\" ! fakesink name=sink" + std::to_string(i)
                       + " sync=false ";
    GError *error = nullptr;
    GstElement *pipeline = gst_parse_launch(description.c_str(), &error);
    if (error) {
        std::fprintf(stderr, "%s\n", error->message);
        std::exit(1);
    }
    Counter counter;
    for (int i = 0; i < 2; ++i) {
        GstElement *sink = gst_bin_get_by_name(GST_BIN(pipeline), ("sink" + std::to_string(i)).c_str());
        GstPad *pad = gst_element_get_static_pad(sink, "sink");
        gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, count, &counter, nullptr);
        gst_object_unref(pad);
        gst_object_unref(sink);
    }
    if (gst_element_set_state(pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        std::fprintf(stderr, "the pipeline does not start\n");
        std::exit(1);
    }
    // Measured from the first frame, as vandrel-host measures once its cameras run.
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (counter.frames == 0 && std::chrono::steady_clock::now() < limit)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const guint64 frames0 = counter.frames, bytes0 = counter.bytes;
    const auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const guint64 f = counter.frames - frames0, b = counter.bytes - bytes0;
    for (int i = 0; i < 2; ++i) {
        GstElement *src = gst_bin_get_by_name(GST_BIN(pipeline), ("src" + std::to_string(i)).c_str());
        guint64 c = 0, d = 0;
        g_object_get(src, "copied", &c, "dropped", &d, nullptr);
        copied += c;
        dropped += d;
        gst_object_unref(src);
    }
    frames += counter.frames;
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    return {double(f) / s, double(b) / s / 1e9};
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    double seconds = 3;
    int turns = 3;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--seconds"))
            seconds = std::atof(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--turns"))
            turns = std::max(1, std::atoi(argv[i + 1]));
    }
    // The plug-in as gst-launch-1.0 finds it from the build tree.
    g_setenv("GST_PLUGIN_PATH", VANDREL_GST_PLUGIN_DIR, TRUE);
    gst_init(&argc, &argv);
    const std::string simConfig = writeSimConfig();

    std::printf("two simulated %dx%d Mono8 cameras, as fast as frames are taken; %d turns of %.1f s each\n\n",
                kWidth, kHeight, turns, seconds);
    std::printf("turn  path                                frames/s     GB/s\n");
    std::vector<double> hostFps, hostGbs, gstFps, gstGbs;
    guint64 copied = 0, dropped = 0, gstFrames = 0;
    for (int t = 1; t <= turns; ++t) {
        const Figures h = hostTurn(simConfig, seconds);
        std::printf("%4d  vandrel-host grab                 %9.1f  %7.2f\n", t, h.framesPerSecond, h.gigabytesPerSecond);
        const Figures g = gstreamerTurn(simConfig, seconds, copied, dropped, gstFrames);
        std::printf("%4d  vandrelsrc ! fakesink sync=false  %9.1f  %7.2f\n", t, g.framesPerSecond, g.gigabytesPerSecond);
        hostFps.push_back(h.framesPerSecond);
        hostGbs.push_back(h.gigabytesPerSecond);
        gstFps.push_back(g.framesPerSecond);
        gstGbs.push_back(g.gigabytesPerSecond);
    }
    const double ratio = median(gstFps) / median(hostFps);
    std::printf("\nmedian  vandrel-host %.1f frames/s (%.2f GB/s), vandrelsrc %.1f frames/s (%.2f GB/s)\n",
                median(hostFps), median(hostGbs), median(gstFps), median(gstGbs));
    std::printf("ratio   vandrelsrc / vandrel-host: %.3fx\n", ratio);
    std::printf("copies  %llu of %llu frames through vandrelsrc (%.3f per frame)\n", (unsigned long long)copied,
                (unsigned long long)gstFrames, gstFrames ? double(copied) / double(gstFrames) : 0.0);
    std::printf("dropped %llu frames from vandrelsrc's full queues (not counted above)\n", (unsigned long long)dropped);
    g_remove(simConfig.c_str());
    return 0;
}
