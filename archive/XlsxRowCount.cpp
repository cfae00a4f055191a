#include "archive/XlsxRowCount.h"

#include "platform/SystemError.h"

#include <QByteArray>
#include <QFile>
#include <QRegularExpression>
#include <algorithm>
#include <map>
#include <vector>
#include <zlib.h>

namespace {

constexpr quint32 LocalHeaderSig = 0x04034b50;
constexpr quint32 CentralHeaderSig = 0x02014b50;
constexpr quint32 EndSig = 0x06054b50;
constexpr quint32 End64Sig = 0x06064b50;
constexpr quint32 End64LocatorSig = 0x07064b50;
constexpr qint64 EndSize = 22;
constexpr qint64 MaxComment = 0xFFFF;
constexpr quint16 Deflated = 8;
constexpr qint64 Chunk = 1 << 16;

quint16 u16(const char* P)
{
    return quint16(uchar(P[0]) | uchar(P[1]) << 8);
}
quint32 u32(const char* P)
{
    return quint32(u16(P)) | quint32(u16(P + 2)) << 16;
}
quint64 u64(const char* P)
{
    return quint64(u32(P)) | quint64(u32(P + 4)) << 32;
}

struct Entry
{
    quint16 Method = 0;
    quint32 Crc = 0;
    quint64 Compressed = 0;
    quint64 Size = 0;
    quint64 Offset = 0;
};

bool readAt(QFile& File, quint64 Pos, qint64 Length, QByteArray& Out)
{
    if (Pos > quint64(File.size()) || !File.seek(qint64(Pos)))
        return false;
    Out = File.read(Length);
    return Out.size() == Length;
}

// The worksheet parts by their number, from the central directory.
bool worksheetEntries(QFile& File, std::map<int, Entry>& Sheets)
{
    const qint64 size = File.size();
    const qint64 tailSize = std::min(size, EndSize + MaxComment);
    QByteArray tail;
    if (tailSize < EndSize || !readAt(File, quint64(size - tailSize), tailSize, tail))
        return false;
    qsizetype end = tail.size() - EndSize;
    while (end >= 0 && u32(tail.constData() + end) != EndSig)
        --end;
    if (end < 0)
        return false;
    const char* e = tail.constData() + end;
    quint64 count = u16(e + 10);
    quint64 dirSize = u32(e + 12);
    quint64 dirOffset = u32(e + 16);
    if (count == 0xFFFF || dirSize == 0xFFFFFFFF || dirOffset == 0xFFFFFFFF) {
        const qint64 locatorPos = size - tailSize + end - 20;
        QByteArray locator;
        QByteArray end64;
        if (locatorPos < 0 || !readAt(File, quint64(locatorPos), 20, locator) ||
            u32(locator.constData()) != End64LocatorSig ||
            !readAt(File, u64(locator.constData() + 8), 56, end64) || u32(end64.constData()) != End64Sig)
            return false;
        count = u64(end64.constData() + 32);
        dirSize = u64(end64.constData() + 40);
        dirOffset = u64(end64.constData() + 48);
    }
    // A directory larger than the file is no directory.
    QByteArray dir;
    if (dirSize > quint64(size) || !readAt(File, dirOffset, qint64(dirSize), dir))
        return false;

    static const QRegularExpression sheetPart(QStringLiteral("^xl/worksheets/sheet([1-9][0-9]*)\\.xml$"));
    qsizetype pos = 0;
    for (quint64 i = 0; i < count; ++i) {
        if (pos + 46 > dir.size() || u32(dir.constData() + pos) != CentralHeaderSig)
            return false;
        const char* h = dir.constData() + pos;
        Entry entry;
        entry.Method = u16(h + 10);
        entry.Crc = u32(h + 16);
        entry.Compressed = u32(h + 20);
        entry.Size = u32(h + 24);
        entry.Offset = u32(h + 42);
        const qsizetype nameLength = u16(h + 28);
        const qsizetype extraLength = u16(h + 30);
        const qsizetype next = pos + 46 + nameLength + extraLength + u16(h + 32);
        if (next > dir.size())
            return false;
        // Values too large for their field stand in the zip64 extra field, in this order.
        for (qsizetype x = pos + 46 + nameLength; x + 4 <= pos + 46 + nameLength + extraLength;) {
            const quint16 id = u16(dir.constData() + x);
            const qsizetype length = u16(dir.constData() + x + 2);
            qsizetype field = x + 4;
            const qsizetype fieldEnd = std::min(field + length, pos + 46 + nameLength + extraLength);
            if (id == 1) {
                for (quint64* value : {&entry.Size, &entry.Compressed, &entry.Offset}) {
                    if (*value == 0xFFFFFFFF && field + 8 <= fieldEnd) {
                        *value = u64(dir.constData() + field);
                        field += 8;
                    }
                }
            }
            x += 4 + length;
        }
        const QString name = QString::fromUtf8(h + 46, nameLength);
        const QRegularExpressionMatch match = sheetPart.match(name);
        if (match.hasMatch())
            Sheets[match.captured(1).toInt()] = entry;
        pos = next;
    }
    return true;
}

// The rows of one part, -1 when it is not whole.
qint64 partRows(QFile& File, const Entry& Part)
{
    QByteArray local;
    if (Part.Method != Deflated || !readAt(File, Part.Offset, 30, local) ||
        u32(local.constData()) != LocalHeaderSig)
        return -1;
    const quint64 dataPos = Part.Offset + 30 + u16(local.constData() + 26) + u16(local.constData() + 28);
    if (!File.seek(qint64(dataPos)))
        return -1;

    z_stream z{};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK)
        return -1;
    static const QByteArray rowEnd = QByteArrayLiteral("</row>");
    static const QByteArray partEnd = QByteArrayLiteral("</worksheet>");
    std::vector<char> out(static_cast<size_t>(Chunk));
    QByteArray in;
    quint64 left = Part.Compressed;
    quint64 produced = 0;
    uLong crc = crc32(0, nullptr, 0);
    qint64 rows = 0;
    // The last characters so far: too few to hold a whole "</row>", enough to find
    // one split between two pieces; and enough for the closing tag.
    QByteArray seam;
    QByteArray last;
    int status = Z_OK;
    while (status != Z_STREAM_END) {
        if (z.avail_in == 0) {
            in = File.read(qint64(std::min<quint64>(left, Chunk)));
            if (in.isEmpty())
                break; // the data ends before the stream does
            left -= quint64(in.size());
            z.next_in = reinterpret_cast<Bytef*>(in.data());
            z.avail_in = uInt(in.size());
        }
        z.next_out = reinterpret_cast<Bytef*>(out.data());
        z.avail_out = uInt(out.size());
        status = inflate(&z, Z_NO_FLUSH);
        if (status != Z_OK && status != Z_STREAM_END)
            break;
        const qsizetype got = qsizetype(out.size()) - qsizetype(z.avail_out);
        crc = crc32(crc, reinterpret_cast<const Bytef*>(out.data()), uInt(got));
        produced += quint64(got);
        const QByteArray piece = QByteArray::fromRawData(out.data(), got);
        rows += piece.count(rowEnd) + (seam + piece.left(rowEnd.size() - 1)).count(rowEnd);
        seam = (seam + piece.right(rowEnd.size() - 1)).right(rowEnd.size() - 1);
        last = (last + piece.right(partEnd.size())).right(partEnd.size());
    }
    inflateEnd(&z);
    if (status != Z_STREAM_END || produced != Part.Size || crc != Part.Crc || !last.endsWith(partEnd))
        return -1;
    return rows;
}

} // namespace

bool CountXlsxSheetRows(const QString& FileName, std::vector<qint64>& Rows, QString& Reason)
{
    Rows.clear();
    Reason.clear();
    QFile file(FileName);
    if (!file.open(QIODevice::ReadOnly)) {
        Reason = SystemError::Russian(file.errorString());
        return false;
    }
    std::map<int, Entry> sheets;
    if (!worksheetEntries(file, sheets)) {
        Reason = QStringLiteral("файл не читается как книга");
        return false;
    }
    for (const auto& [number, entry] : sheets) {
        if (number != int(Rows.size()) + 1) {
            Reason = QStringLiteral("в книге нет листа %1").arg(Rows.size() + 1);
            return false;
        }
        Rows.push_back(partRows(file, entry));
    }
    return true;
}
