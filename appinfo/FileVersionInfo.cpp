#include "appinfo/FileVersionInfo.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStringList>

#include <cstdint>

#include "DralvoVersion.h"
#include "appinfo/VOxaAppInfo.h"
#include "appinfo/VersionBlock.h"
#include "appinfo/VersionResource.h"
#include "platform/File.h"
#include "platform/ThisProcess.h"

namespace {

// The program's own version resource, carried in the ELF section
// ".oxaversion" of every executable that links this unit.
constexpr appinfo::VersionInfoSpec<7> kOwnVersion{
    {DRALVO_VERSION_MAJOR, DRALVO_VERSION_MINOR, 0, 0},
    {DRALVO_VERSION_MAJOR, DRALVO_VERSION_MINOR, 0, 0},
    0x0409,
    0x04E4,
    {{{u"CompanyName", u"Oxatek"},
      {u"FileDescription", u"Dralvo serial debug console"},
      {u"FileVersion", u"" DRALVO_VERSION},
      {u"InternalName", u"Dralvo"},
      {u"OriginalFilename", u"dralvo"},
      {u"ProductName", u"Dralvo"},
      {u"ProductVersion", u"" DRALVO_VERSION}}}};
[[gnu::used]] __attribute__((section(".oxaversion"))) const auto kOwnVersionBlock =
    appinfo::BuildVersionBlock<appinfo::VersionBlockSize(kOwnVersion)>(kOwnVersion);

// Registered by name so a form description can create it.
const bool registered = [] {
    VOxaAppInfo::RegisterNonFormClass(QStringLiteral("TFileVersionInfo"));
    return true;
}();

// Larger files are not executables we need to look into.
constexpr qint64 kMaxFileSize = qint64(512) * 1024 * 1024;

} // namespace

QByteArray TFileVersionInfo::ReadVersionBlock(const QString& fileName) {
    platform::File file;
    if (fileName.isEmpty() ||
        file.open(fileName, platform::GENERIC_READ,
                  platform::FILE_SHARE_READ | platform::FILE_SHARE_WRITE,
                  platform::OPEN_EXISTING) != 0 ||
        file.size() > kMaxFileSize)
        return {};
    // Only what the headers lead to is read: an executable that carries its
    // debug information is tens of megabytes.
    const appinfo::FileReader read = [&file](qint64 offset, qint64 count, char* out) {
        if (file.seek(offset, 0) != offset)
            return false;
        for (qint64 done = 0; done < count;) {
            const int64_t n = file.read(out + done, count - done);
            if (n <= 0)
                return false;
            done += n;
        }
        return true;
    };
    return appinfo::versionBlockOf(file.size(), read);
}

QByteArray TFileVersionInfo::VersionBlockOf(const QByteArray& data) {
    return appinfo::versionBlockOf(data);
}

std::optional<QByteArray> TFileVersionInfo::QueryValue(const QByteArray& block,
                                                       const QString& path) {
    return appinfo::queryVersionValue(block, path);
}

std::optional<QString> TFileVersionInfo::QueryText(const QByteArray& block, const QString& path) {
    return appinfo::queryVersionText(block, path);
}

TFileVersionInfo::TFileVersionInfo(QObject* owner) : TComponent(owner) {
    QString self =
        QCoreApplication::instance() ? QCoreApplication::applicationFilePath() : QString();
    if (self.isEmpty())
        self = QFileInfo(platform::executablePath()).canonicalFilePath();
    SetExecutableFile(self);
}

void TFileVersionInfo::SetExecutableFile(const QString& fileName) {
    m_executableFile = fileName;
    ReadFile();
}

void TFileVersionInfo::Clear() {
    for (QString* s : {&m_countryCode, &m_companyName, &m_fileDescription, &m_fileVersion,
                       &m_internalName, &m_legalCopyright, &m_legalTradeMarks, &m_originalFilename,
                       &m_productName, &m_productVersion, &m_comments})
        s->clear();
}

void TFileVersionInfo::ReadFile() {
    Clear();
    const QByteArray block = ReadVersionBlock(m_executableFile);
    if (block.isEmpty())
        return;
    const auto translation = QueryValue(block, QStringLiteral("\\VarFileInfo\\Translation"));
    if (!translation || translation->size() < 4)
        return; // no translation table: nothing can be looked up
    const QByteArray& t = *translation;
    const auto word = [&t](int at) { return uint16_t(uint8_t(t[at]) | uint8_t(t[at + 1]) << 8); };
    const uint16_t language = word(0);
    const uint16_t codePage = word(2);
    m_countryCode = QStringLiteral("%1%2")
                        .arg(language, 4, 16, QLatin1Char('0'))
                        .arg(codePage, 4, 16, QLatin1Char('0'))
                        .toUpper();
    const QString table = QStringLiteral("\\StringFileInfo\\") + m_countryCode + QLatin1Char('\\');
    const std::pair<const char*, QString*> names[] = {
        {"CompanyName", &m_companyName},           {"FileDescription", &m_fileDescription},
        {"FileVersion", &m_fileVersion},           {"InternalName", &m_internalName},
        {"LegalCopyright", &m_legalCopyright},     {"LegalTradeMarks", &m_legalTradeMarks},
        {"OriginalFilename", &m_originalFilename}, {"ProductName", &m_productName},
        {"ProductVersion", &m_productVersion},     {"Comments", &m_comments}};
    for (const auto& [name, target] : names)
        if (const auto text = QueryText(block, table + QLatin1String(name)))
            *target = *text;
}
