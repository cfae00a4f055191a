#include "tools/mkchm/ChmWriter.h"

#include <QSaveFile>
#include <QtEndian>
#include <algorithm>
#include <vector>

namespace {

constexpr int ItsfHeaderLength = 0x60;
constexpr int HeaderSection0Length = 0x18;
constexpr int ItspHeaderLength = 0x54;
constexpr int PmglHeaderLength = 0x14;
constexpr int PmgiHeaderLength = 0x08;
// One quick-reference offset every 1 + (1 << density) entries.
constexpr int QuickRefDensity = 2;
constexpr int QuickRefStep = 1 + (1 << QuickRefDensity);
// Strings of the string table never cross a block of this size.
constexpr int StringsBlock = 4096;

void appendU16(QByteArray& Out, quint16 Value)
{
    char b[2];
    qToLittleEndian(Value, b);
    Out.append(b, 2);
}

void appendU32(QByteArray& Out, quint32 Value)
{
    char b[4];
    qToLittleEndian(Value, b);
    Out.append(b, 4);
}

void appendU64(QByteArray& Out, quint64 Value)
{
    char b[8];
    qToLittleEndian(Value, b);
    Out.append(b, 8);
}

// Seven bits a byte, most significant group first, high bit set on all but the last.
void appendEncInt(QByteArray& Out, quint64 Value)
{
    char groups[10];
    int n = 0;
    do {
        groups[n++] = static_cast<char>(Value & 0x7F);
        Value >>= 7;
    } while (Value != 0);
    while (n > 1)
        Out.append(static_cast<char>(groups[--n] | 0x80));
    Out.append(groups[0]);
}

// A GUID as Windows stores it: the first three groups little-endian.
void appendGuid(QByteArray& Out, quint32 D1, quint16 D2, quint16 D3, std::initializer_list<quint8> D4)
{
    appendU32(Out, D1);
    appendU16(Out, D2);
    appendU16(Out, D3);
    for (const quint8 b : D4)
        Out.append(static_cast<char>(b));
}

void appendSystemRecord(QByteArray& Out, quint16 Code, const QByteArray& Data)
{
    appendU16(Out, Code);
    appendU16(Out, static_cast<quint16>(Data.size()));
    Out.append(Data);
}

QByteArray zeroTerminated(const QByteArray& Text)
{
    return Text + QByteArray(1, '\0');
}

// The order readers search the directory in: bytes compared with ASCII letters folded.
bool directoryLess(const QByteArray& A, const QByteArray& B)
{
    const auto fold = [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u >= 'A' && u <= 'Z' ? u + ('a' - 'A') : u;
    };
    return std::lexicographical_compare(A.begin(), A.end(), B.begin(), B.end(),
                                        [&](char x, char y) { return fold(x) < fold(y); });
}

struct TDirEntry
{
    QByteArray Name;
    quint64 Offset = 0;
    quint64 Length = 0;
};

// A chunk of the directory: its entries and, at the far end, the quick-reference
// offsets (every QuickRefStep-th entry) followed by the entry count.
QByteArray finishChunk(QByteArray Chunk, const QList<int>& EntryOffsets, int ChunkSize)
{
    const int used = Chunk.size();
    Chunk.resize(ChunkSize, '\0');
    char* end = Chunk.data() + ChunkSize;
    qToLittleEndian(static_cast<quint16>(EntryOffsets.size()), end - 2);
    int slot = 2;
    for (int i = QuickRefStep; i < EntryOffsets.size(); i += QuickRefStep) {
        slot += 2;
        qToLittleEndian(static_cast<quint16>(EntryOffsets[i]), end - slot);
    }
    // The free space field counts everything after the last entry.
    qToLittleEndian(static_cast<quint32>(ChunkSize - used), Chunk.data() + 4);
    return Chunk;
}

int quickRefBytes(int EntryCount)
{
    return 2 + 2 * (EntryCount > 0 ? (EntryCount - 1) / QuickRefStep : 0);
}

} // namespace

void TChmWriter::AddFile(const QString& Path, const QByteArray& Data)
{
    Files_.insert(Path.startsWith(QLatin1Char('/')) ? Path : QLatin1Char('/') + Path, Data);
}

QByteArray TChmWriter::SystemFile() const
{
    QByteArray out;
    appendU32(out, 3);
    appendSystemRecord(out, 9, zeroTerminated("klov-mkchm 1.0"));
    QByteArray language;
    appendU32(language, Lcid_);
    appendU32(language, 0); // no double-byte character set
    appendU32(language, 0); // no full-text search
    appendU32(language, IndexFile_.isEmpty() ? 0 : 1);
    appendU32(language, 0);
    appendU64(language, 0); // time stamp
    appendU32(language, 0);
    appendU32(language, 0);
    appendSystemRecord(out, 4, language);
    if (!DefaultTopic_.isEmpty())
        appendSystemRecord(out, 2, zeroTerminated(DefaultTopic_));
    if (!Title_.isEmpty())
        appendSystemRecord(out, 3, zeroTerminated(Title_));
    if (!ContentsFile_.isEmpty())
        appendSystemRecord(out, 0, zeroTerminated(ContentsFile_));
    if (!IndexFile_.isEmpty())
        appendSystemRecord(out, 1, zeroTerminated(IndexFile_));
    return out;
}

QByteArray TChmWriter::StringsAndIvb(QByteArray& Ivb) const
{
    QByteArray strings(1, '\0');
    QByteArray pairs;
    QMap<QByteArray, quint32> offsets;
    for (auto it = Contexts_.begin(); it != Contexts_.end(); ++it) {
        if (!offsets.contains(it.value())) {
            const QByteArray s = zeroTerminated(it.value());
            const int room = StringsBlock - strings.size() % StringsBlock;
            if (s.size() > room && s.size() <= StringsBlock)
                strings.append(QByteArray(room, '\0'));
            offsets.insert(it.value(), static_cast<quint32>(strings.size()));
            strings.append(s);
        }
        appendU32(pairs, it.key());
        appendU32(pairs, offsets.value(it.value()));
    }
    Ivb.clear();
    appendU32(Ivb, static_cast<quint32>(pairs.size()));
    Ivb.append(pairs);
    return strings;
}

QByteArray TChmWriter::Build(QString& ErrorText) const
{
    QMap<QString, QByteArray> files = Files_;
    files.insert(QStringLiteral("/#SYSTEM"), SystemFile());
    if (!Contexts_.isEmpty()) {
        QByteArray ivb;
        files.insert(QStringLiteral("/#STRINGS"), StringsAndIvb(ivb));
        files.insert(QStringLiteral("/#IVB"), ivb);
    }
    // The section names: only the uncompressed one is used.
    QByteArray nameList;
    const QString uncompressed = QStringLiteral("Uncompressed");
    appendU16(nameList, static_cast<quint16>((2 + 2 + 2 + uncompressed.size() * 2 + 2) / 2));
    appendU16(nameList, 1);
    appendU16(nameList, static_cast<quint16>(uncompressed.size()));
    for (const QChar c : uncompressed)
        appendU16(nameList, c.unicode());
    appendU16(nameList, 0);
    files.insert(QStringLiteral("::DataSpace/NameList"), nameList);

    std::vector<TDirEntry> entries;
    QByteArray content;
    QMap<QByteArray, bool> folders;
    for (auto it = files.begin(); it != files.end(); ++it) {
        const QByteArray name = it.key().toUtf8();
        if (name.size() > 512) {
            ErrorText = QStringLiteral("Слишком длинное имя файла: ") + it.key();
            return {};
        }
        entries.push_back(
            {name, static_cast<quint64>(content.size()), static_cast<quint64>(it.value().size())});
        content.append(it.value());
        if (name.startsWith('/')) {
            for (qsizetype slash = name.indexOf('/'); slash >= 0; slash = name.indexOf('/', slash + 1))
                folders.insert(name.left(slash + 1), true);
        }
    }
    for (auto it = folders.begin(); it != folders.end(); ++it)
        entries.push_back({it.key(), 0, 0});
    std::sort(entries.begin(), entries.end(),
              [](const TDirEntry& A, const TDirEntry& B) { return directoryLess(A.Name, B.Name); });

    // Listing chunks, filled in directory order.
    QList<QByteArray> listing;
    QList<QByteArray> firstNames;
    QByteArray chunk;
    QList<int> entryOffsets;
    const auto startChunk = [&] {
        chunk = QByteArray("PMGL");
        appendU32(chunk, 0); // free space, set when the chunk is finished
        appendU32(chunk, 0);
        appendU32(chunk, 0); // previous and next chunk, set below
        appendU32(chunk, 0);
        entryOffsets.clear();
    };
    startChunk();
    for (const TDirEntry& e : entries) {
        QByteArray encoded;
        appendEncInt(encoded, static_cast<quint64>(e.Name.size()));
        encoded.append(e.Name);
        appendEncInt(encoded, 0); // content section 0
        appendEncInt(encoded, e.Offset);
        appendEncInt(encoded, e.Length);
        if (chunk.size() + encoded.size() + quickRefBytes(static_cast<int>(entryOffsets.size()) + 1) >
            ChunkSize_) {
            if (entryOffsets.isEmpty()) {
                ErrorText =
                    QStringLiteral("Запись каталога не помещается в блок: ") + QString::fromUtf8(e.Name);
                return {};
            }
            listing << finishChunk(chunk, entryOffsets, ChunkSize_);
            startChunk();
        }
        if (entryOffsets.isEmpty())
            firstNames << e.Name;
        entryOffsets << static_cast<int>(chunk.size() - PmglHeaderLength);
        chunk.append(encoded);
    }
    listing << finishChunk(chunk, entryOffsets, ChunkSize_);
    const int listingCount = static_cast<int>(listing.size());
    for (int i = 0; i < listingCount; ++i) {
        qToLittleEndian(static_cast<qint32>(i - 1), listing[i].data() + 0x0C);
        qToLittleEndian(static_cast<qint32>(i + 1 < listingCount ? i + 1 : -1), listing[i].data() + 0x10);
    }

    // One index chunk over the listing chunks when there is more than one.
    QList<QByteArray> chunks = listing;
    if (listingCount > 1) {
        QByteArray index("PMGI");
        appendU32(index, 0);
        QList<int> offsets;
        for (int i = 0; i < listingCount; ++i) {
            QByteArray encoded;
            appendEncInt(encoded, static_cast<quint64>(firstNames[i].size()));
            encoded.append(firstNames[i]);
            appendEncInt(encoded, static_cast<quint64>(i));
            if (index.size() + encoded.size() + quickRefBytes(static_cast<int>(offsets.size()) + 1) >
                ChunkSize_) {
                ErrorText = QStringLiteral("Каталог файла справки слишком велик");
                return {};
            }
            offsets << static_cast<int>(index.size() - PmgiHeaderLength);
            index.append(encoded);
        }
        chunks << finishChunk(index, offsets, ChunkSize_);
    }
    const int chunkCount = static_cast<int>(chunks.size());

    QByteArray directory("ITSP");
    appendU32(directory, 1);
    appendU32(directory, ItspHeaderLength);
    appendU32(directory, 0x0A);
    appendU32(directory, static_cast<quint32>(ChunkSize_));
    appendU32(directory, QuickRefDensity);
    appendU32(directory, listingCount > 1 ? 2 : 1);                                    // index depth
    appendU32(directory, listingCount > 1 ? static_cast<quint32>(listingCount) : ~0u); // index root
    appendU32(directory, 0);                                                           // first listing chunk
    appendU32(directory, static_cast<quint32>(listingCount - 1));                      // last listing chunk
    appendU32(directory, ~0u);
    appendU32(directory, static_cast<quint32>(chunkCount));
    appendU32(directory, Lcid_);
    appendGuid(directory, 0x5D02926A, 0x212E, 0x11D0, {0x9D, 0xF9, 0x00, 0xA0, 0xC9, 0x22, 0xE6, 0xEC});
    appendU32(directory, ItspHeaderLength);
    appendU32(directory, ~0u);
    appendU32(directory, ~0u);
    appendU32(directory, ~0u);
    for (const QByteArray& c : chunks)
        directory.append(c);

    const quint64 directoryOffset = ItsfHeaderLength + HeaderSection0Length;
    const quint64 contentOffset = directoryOffset + static_cast<quint64>(directory.size());
    const quint64 fileSize = contentOffset + static_cast<quint64>(content.size());

    QByteArray out("ITSF");
    appendU32(out, 3);
    appendU32(out, ItsfHeaderLength);
    appendU32(out, 1);
    appendU32(out, 0); // time stamp
    appendU32(out, Lcid_);
    appendGuid(out, 0x7C01FD10, 0x7BAA, 0x11D0, {0x9E, 0x0C, 0x00, 0xA0, 0xC9, 0x22, 0xE6, 0xEC});
    appendGuid(out, 0x7C01FD11, 0x7BAA, 0x11D0, {0x9E, 0x0C, 0x00, 0xA0, 0xC9, 0x22, 0xE6, 0xEC});
    appendU64(out, ItsfHeaderLength);
    appendU64(out, HeaderSection0Length);
    appendU64(out, directoryOffset);
    appendU64(out, static_cast<quint64>(directory.size()));
    appendU64(out, contentOffset);
    // Header section 0: the file size.
    appendU32(out, 0x01FE);
    appendU32(out, 0);
    appendU64(out, fileSize);
    appendU32(out, 0);
    appendU32(out, 0);
    out.append(directory);
    out.append(content);
    return out;
}

bool TChmWriter::Write(const QString& FileName, QString& ErrorText) const
{
    const QByteArray image = Build(ErrorText);
    if (image.isEmpty())
        return false;
    QSaveFile file(FileName);
    if (!file.open(QIODevice::WriteOnly) || file.write(image) != image.size() || !file.commit()) {
        ErrorText = QStringLiteral("Не удалось записать файл ") + FileName + QStringLiteral(": ") +
                    file.errorString();
        return false;
    }
    return true;
}
