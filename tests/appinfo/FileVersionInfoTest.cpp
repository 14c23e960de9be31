#include "appinfo/FileVersionInfo.h"
#include "appinfo/VOxaAppInfo.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <vector>

namespace {

// ---- a version block written by hand ----------------------------------------------------

void put16(QByteArray& b, uint16_t v) {
    b.append(char(v & 0xFF));
    b.append(char(v >> 8));
}
void put32(QByteArray& b, uint32_t v) {
    put16(b, uint16_t(v & 0xFFFF));
    put16(b, uint16_t(v >> 16));
}
void pad4(QByteArray& b) {
    while (b.size() % 4)
        b.append('\0');
}
QByteArray utf16z(const QString& s) {
    QByteArray b;
    for (QChar c : s)
        put16(b, c.unicode());
    put16(b, 0);
    return b;
}

// wLength, wValueLength, wType, key, value, children (each on a 32-bit boundary).
QByteArray node(const QString& key, const QByteArray& value, uint16_t valueLength, uint16_t type,
                const std::vector<QByteArray>& children = {}) {
    QByteArray body = utf16z(key);
    QByteArray b;
    put16(b, 0);
    put16(b, valueLength);
    put16(b, type);
    b += body;
    pad4(b);
    b += value;
    for (const QByteArray& c : children) {
        pad4(b);
        b += c;
    }
    b[0] = char(b.size() & 0xFF);
    b[1] = char(b.size() >> 8);
    return b;
}
QByteArray text(const QString& key, const QString& value) {
    return node(key, utf16z(value), uint16_t(value.size() + 1), 1);
}

const QStringList kNames = {"CompanyName",    "FileDescription", "FileVersion",      "InternalName",
                            "LegalCopyright", "LegalTradeMarks", "OriginalFilename", "ProductName",
                            "ProductVersion", "Comments"};

QByteArray versionBlock(const QString& tableName, bool withTranslation = true,
                        const QStringList& leaveOut = {}) {
    std::vector<QByteArray> strings;
    for (const QString& n : kNames)
        if (!leaveOut.contains(n))
            strings.push_back(text(n, n + " text"));
    QByteArray fixed;
    put32(fixed, 0xFEEF04BD);
    while (fixed.size() < 52)
        fixed.append('\0');
    QByteArray translation;
    put16(translation, 0x0409);
    put16(translation, 0x04E4);
    std::vector<QByteArray> children = {
        node("StringFileInfo", {}, 0, 1, {node(tableName, {}, 0, 1, strings)})};
    if (withTranslation)
        children.push_back(node("VarFileInfo", {}, 0, 1, {node("Translation", translation, 4, 0)}));
    return node("VS_VERSION_INFO", fixed, 52, 0, children);
}

// ---- a 32-bit PE file holding it as its RT_VERSION resource -------------------------------

QByteArray peFile(const QByteArray& block, bool pe32plus = false) {
    QByteArray f(0x200, '\0');
    f[0] = 'M';
    f[1] = 'Z';
    f[0x3C] = 0x40;
    QByteArray pe("PE\0\0", 4);
    put16(pe, pe32plus ? 0x8664 : 0x14C);
    put16(pe, 1); // one section
    put32(pe, 0);
    put32(pe, 0);
    put32(pe, 0);
    const int optSize = pe32plus ? 240 : 224;
    put16(pe, uint16_t(optSize));
    put16(pe, 0x102);
    QByteArray opt(optSize, '\0');
    opt[0] = char(0x0B);
    opt[1] = char(pe32plus ? 0x02 : 0x01);
    const int dirs = pe32plus ? 112 : 96;
    opt[dirs - 4] = 16; // data directories
    const uint32_t rsrcSize = uint32_t(0x58 + block.size());
    QByteArray dir;
    put32(dir, 0x1000);
    put32(dir, rsrcSize);
    opt.replace(dirs + 2 * 8, 8, dir);
    QByteArray section(".rsrc\0\0\0", 8);
    put32(section, rsrcSize);
    put32(section, 0x1000);
    put32(section, rsrcSize);
    put32(section, 0x200);
    section += QByteArray(16, '\0');
    const QByteArray headers = pe + opt + section;
    f.replace(0x40, headers.size(), headers);

    QByteArray r;
    const auto directory = [&](uint32_t id, uint32_t target) {
        put32(r, 0);
        put32(r, 0);
        put32(r, 0);
        put16(r, 0);
        put16(r, 1);
        put32(r, id);
        put32(r, target);
    };
    directory(16, 0x80000018); // RT_VERSION
    directory(1, 0x80000030);  // name 1
    directory(0x409, 0x48);    // language
    put32(r, 0x1000 + 0x58);   // data entry: address, size, code page, reserved
    put32(r, uint32_t(block.size()));
    put32(r, 0);
    put32(r, 0);
    while (r.size() < 0x58)
        r.append('\0');
    r += block;
    return f + r;
}

// ---- a 64-bit ELF file with the ".oxaversion" section -------------------------------------

QByteArray elfFile(const QByteArray& block) {
    const QByteArray names("\0.shstrtab\0.oxaversion\0", 23);
    QByteArray f(64, '\0');
    f.replace(0, 4,
              "\x7f"
              "ELF");
    f[4] = 2; // 64-bit
    f[5] = 1; // little-endian
    f[6] = 1;
    const int namesAt = 64, blockAt = namesAt + int(names.size());
    const int headersAt = (blockAt + int(block.size()) + 7) & ~7;
    f += names + block;
    f += QByteArray(headersAt - f.size(), '\0');
    const auto set16 = [&](int at, uint16_t v) {
        f[at] = char(v & 0xFF);
        f[at + 1] = char(v >> 8);
    };
    f[0x28] = char(headersAt & 0xFF);
    f[0x29] = char(headersAt >> 8);
    set16(0x3A, 64);
    set16(0x3C, 3);
    set16(0x3E, 1);
    const auto header = [&](uint32_t name, uint32_t type, uint64_t offset, uint64_t size) {
        QByteArray h;
        put32(h, name);
        put32(h, type);
        h += QByteArray(16, '\0');
        put32(h, uint32_t(offset));
        put32(h, 0);
        put32(h, uint32_t(size));
        put32(h, 0);
        h += QByteArray(24, '\0');
        f += h;
    };
    header(0, 0, 0, 0);
    header(1, 3, namesAt, names.size());
    header(11, 1, blockAt, block.size());
    return f;
}

class FileVersionInfoTest : public ::testing::Test {
protected:
    QString write(const QString& name, const QByteArray& bytes) {
        const QString path = m_dir.path() + "/" + name;
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }
    static QStringList strings(const TFileVersionInfo& v) {
        return {v.CompanyName(),    v.FileDescription(), v.FileVersion(),      v.InternalName(),
                v.LegalCopyright(), v.LegalTradeMarks(), v.OriginalFilename(), v.ProductName(),
                v.ProductVersion(), v.Comments()};
    }
    static bool allEmpty(const TFileVersionInfo& v) {
        for (const QString& s : strings(v))
            if (!s.isEmpty())
                return false;
        return v.CountryCode().isEmpty();
    }
    QTemporaryDir m_dir;
};

} // namespace

TEST_F(FileVersionInfoTest, ReadsTheStringsOfTheFirstTranslationFromAPeFile) {
    TFileVersionInfo info;
    info.SetExecutableFile(write("app.exe", peFile(versionBlock("040904E4"))));
    EXPECT_EQ(info.CountryCode(), QStringLiteral("040904E4"));
    QStringList expected;
    for (const QString& n : kNames)
        expected << n + " text";
    EXPECT_EQ(strings(info), expected);

    TFileVersionInfo wide;
    wide.SetExecutableFile(write("app64.exe", peFile(versionBlock("040904E4"), true)));
    EXPECT_EQ(wide.CountryCode(), QStringLiteral("040904E4"));
    EXPECT_EQ(strings(wide), expected);

    // Table names compare without letter case, as the system's lookup does.
    info.SetExecutableFile(write("lower.exe", peFile(versionBlock("040904e4"))));
    EXPECT_EQ(info.ProductName(), QStringLiteral("ProductName text"));

    // A string missing from the table leaves only that property empty.
    info.SetExecutableFile(
        write("partial.exe", peFile(versionBlock("040904E4", true, {"LegalTradeMarks"}))));
    EXPECT_TRUE(info.LegalTradeMarks().isEmpty());
    EXPECT_EQ(info.Comments(), QStringLiteral("Comments text"));
}

TEST_F(FileVersionInfoTest, AStringTableUnderAnotherCodePageIsNotFound) {
    TFileVersionInfo info;
    info.SetExecutableFile(write("b0.exe", peFile(versionBlock("040904B0"))));
    EXPECT_EQ(info.CountryCode(), QStringLiteral("040904E4"));
    for (const QString& s : strings(info))
        EXPECT_TRUE(s.isEmpty()) << s.toStdString();
}

TEST_F(FileVersionInfoTest, MissingCorruptOrTruncatedFilesGiveEmptyValues) {
    TFileVersionInfo info;
    info.SetExecutableFile(m_dir.path() + "/missing.exe");
    EXPECT_TRUE(allEmpty(info));
    info.SetExecutableFile(write("text.exe", "just some text, not an executable"));
    EXPECT_TRUE(allEmpty(info));
    info.SetExecutableFile(write("empty.exe", QByteArray()));
    EXPECT_TRUE(allEmpty(info));
    info.SetExecutableFile(write("notrans.exe", peFile(versionBlock("040904E4", false))));
    EXPECT_TRUE(allEmpty(info));

    const QByteArray good = peFile(versionBlock("040904E4"));
    for (int length = 0; length < good.size(); length += 13) {
        info.SetExecutableFile(write("cut.exe", good.left(length)));
        EXPECT_TRUE(allEmpty(info)) << "cut at " << length;
    }
    // Bytes all over the resource part damaged in turn: never a crash, and
    // nothing read from outside the file.
    for (int at = 0x200; at < good.size(); at += 7) {
        QByteArray bad = good;
        bad[at] = char(0xFF);
        info.SetExecutableFile(write("bad.exe", bad));
        for (const QString& s : strings(info))
            EXPECT_LE(s.size(), 64);
    }
}

TEST_F(FileVersionInfoTest, ASecondFileClearsTheFirstFilesValues) {
    TFileVersionInfo info;
    info.SetExecutableFile(write("app.exe", peFile(versionBlock("040904E4"))));
    ASSERT_FALSE(info.CompanyName().isEmpty());
    info.SetExecutableFile(write("b0.exe", peFile(versionBlock("040904B0"))));
    EXPECT_TRUE(info.CompanyName().isEmpty());
    EXPECT_EQ(info.CountryCode(), QStringLiteral("040904E4"));
    info.SetExecutableFile(m_dir.path() + "/missing.exe");
    EXPECT_TRUE(allEmpty(info));
    EXPECT_EQ(info.ExecutableFile(), m_dir.path() + "/missing.exe");
}

TEST_F(FileVersionInfoTest, ReadsTheVersionSectionOfAnElfFile) {
    TFileVersionInfo info;
    info.SetExecutableFile(write("prog", elfFile(versionBlock("040904E4"))));
    EXPECT_EQ(info.CountryCode(), QStringLiteral("040904E4"));
    EXPECT_EQ(info.FileVersion(), QStringLiteral("FileVersion text"));
}

TEST_F(FileVersionInfoTest, TheRunningProgramCarriesItsOwnVersion) {
    // Every executable linking the component carries the program's block.
    VOxaAppInfo appInfo;
    ASSERT_NE(appInfo.FileVersionInfo(), nullptr);
    const TFileVersionInfo& own = *appInfo.FileVersionInfo();
    EXPECT_EQ(own.ExecutableFile(), QCoreApplication::applicationFilePath());
    EXPECT_EQ(own.CountryCode(), QStringLiteral("040904E4"));
    EXPECT_EQ(own.ProductName(), QStringLiteral("Dralvo"));
    EXPECT_EQ(own.CompanyName(), QStringLiteral("Oxatek"));
    EXPECT_FALSE(own.FileVersion().isEmpty());
    EXPECT_TRUE(own.LegalTradeMarks().isEmpty());
    // The compile-time builder and the hand-written block agree on the layout.
    const QByteArray block = TFileVersionInfo::ReadVersionBlock(own.ExecutableFile());
    EXPECT_EQ(block.size() % 4, 0);
    EXPECT_EQ(uint8_t(block[0]) | uint8_t(block[1]) << 8, block.size());
}
