#include "tiffcheck.h"

#include <QByteArray>
#include <QFile>

#include <algorithm>
#include <cstdint>
#include <map>
#include <vector>

namespace vdsim {
namespace {

class TiffReader
{
public:
    explicit TiffReader(QFile &f) : f_(f) {}

    bool littleEndian = true;

    bool read(uint64_t at, int bytes, QByteArray &out)
    {
        if (!f_.seek(qint64(at)))
            return false;
        out = f_.read(bytes);
        return out.size() == bytes;
    }
    uint32_t number(const QByteArray &b, int at, int bytes) const
    {
        uint32_t v = 0;
        for (int i = 0; i < bytes; ++i) {
            const uint32_t byte = uint8_t(b[at + (littleEndian ? i : bytes - 1 - i)]);
            v |= byte << (8 * i);
        }
        return v;
    }
    // The values of an entry of type SHORT (3) or LONG (4), inline or at their offset.
    bool values(const QByteArray &entry, std::vector<uint32_t> &out)
    {
        const uint32_t type = number(entry, 2, 2);
        const uint32_t count = number(entry, 4, 4);
        const int size = type == 3 ? 2 : type == 4 ? 4 : 0;
        if (size == 0 || count == 0 || count > (1u << 20))
            return false;
        QByteArray data;
        if (uint64_t(count) * uint64_t(size) <= 4)
            data = entry.mid(8, 4);
        else if (!read(number(entry, 8, 4), int(count) * size, data))
            return false;
        out.resize(count);
        for (uint32_t i = 0; i < count; ++i)
            out[i] = number(data, int(i) * size, size);
        return true;
    }

private:
    QFile &f_;
};

} // namespace

bool checkTiff(const std::string &path, int width, int height, int channels, std::string &error)
{
    QFile f(QString::fromStdString(path));
    if (!f.open(QIODevice::ReadOnly)) {
        error = path + ": not readable";
        return false;
    }
    const uint64_t fileSize = uint64_t(f.size());
    TiffReader r(f);
    QByteArray header;
    if (!r.read(0, 8, header) || (header.left(2) != "II" && header.left(2) != "MM")) {
        error = path + ": not a TIFF file";
        return false;
    }
    r.littleEndian = header.at(0) == 'I';
    const uint32_t magic = r.number(header, 2, 2);
    if (magic == 43)
        return true;   // BigTIFF: left to the reader when the frame is replayed
    if (magic != 42) {
        error = path + ": not a TIFF file";
        return false;
    }
    // Writers put the directory after the pixels: a file cut short loses it first.
    const uint64_t ifd = r.number(header, 4, 4);
    QByteArray count;
    if (!r.read(ifd, 2, count)) {
        error = path + ": cut short (" + std::to_string(fileSize) + " bytes, its directory at " + std::to_string(ifd)
                + ")";
        return false;
    }
    const int entries = int(r.number(count, 0, 2));
    QByteArray table;
    if (!r.read(ifd + 2, entries * 12, table)) {
        error = path + ": cut short in its header";
        return false;
    }
    std::map<uint32_t, std::vector<uint32_t>> tags;
    for (int i = 0; i < entries; ++i) {
        const QByteArray entry = table.mid(i * 12, 12);
        const uint32_t tag = r.number(entry, 0, 2);
        if (tag == 256 || tag == 257 || tag == 258 || tag == 273 || tag == 277 || tag == 279)
            r.values(entry, tags[tag]);
    }
    auto first = [&](uint32_t tag, uint32_t otherwise) {
        const auto it = tags.find(tag);
        return it == tags.end() || it->second.empty() ? otherwise : it->second.front();
    };
    const uint32_t w = first(256, 0), h = first(257, 0), spp = first(277, 1), bits = first(258, 1);
    if (int64_t(w) != width || int64_t(h) != height || int64_t(spp) != channels || bits != 8) {
        error = path + ": " + std::to_string(w) + " x " + std::to_string(h) + " x " + std::to_string(spp) + " of "
                + std::to_string(bits) + " bits, recorded as " + std::to_string(width) + " x "
                + std::to_string(height) + " x " + std::to_string(channels) + " of 8 bits";
        return false;
    }
    const std::vector<uint32_t> &offsets = tags[273];
    const std::vector<uint32_t> &sizes = tags[279];
    if (offsets.empty() || offsets.size() != sizes.size()) {
        error = path + ": no pixel strips in its header";
        return false;
    }
    uint64_t end = 0;
    for (size_t i = 0; i < offsets.size(); ++i)
        end = std::max(end, uint64_t(offsets[i]) + uint64_t(sizes[i]));
    if (end > fileSize) {
        error = path + ": cut short (" + std::to_string(fileSize) + " of " + std::to_string(end) + " bytes)";
        return false;
    }
    return true;
}

} // namespace vdsim
