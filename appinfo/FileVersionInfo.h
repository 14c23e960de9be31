#pragma once
// TFileVersionInfo reads the version resource of an executable into text
// properties. The resource is the classic version block (VS_VERSIONINFO with
// its StringFileInfo and VarFileInfo children), found in a PE file's resource
// section or, for this program's own Linux executable, in its ELF section
// ".oxaversion" (see appinfo/VersionBlock.h).
#include <QByteArray>
#include <QString>
#include <optional>

#include "util/Component.h"

class TFileVersionInfo : public TComponent {
    Q_OBJECT
public:
    // Reads the running program's own file.
    explicit TFileVersionInfo(QObject* owner = nullptr);

    QString ExecutableFile() const { return m_executableFile; }
    // Stores the path and reads the file at once.
    void SetExecutableFile(const QString& fileName);

    QString CountryCode() const { return m_countryCode; }
    QString CompanyName() const { return m_companyName; }
    QString FileDescription() const { return m_fileDescription; }
    QString FileVersion() const { return m_fileVersion; }
    QString InternalName() const { return m_internalName; }
    QString LegalCopyright() const { return m_legalCopyright; }
    QString LegalTradeMarks() const { return m_legalTradeMarks; }
    QString OriginalFilename() const { return m_originalFilename; }
    QString ProductName() const { return m_productName; }
    QString ProductVersion() const { return m_productVersion; }
    QString Comments() const { return m_comments; }

    // The version block of a file; empty when the file has none or cannot be
    // read (a missing, truncated or foreign file).
    static QByteArray ReadVersionBlock(const QString& fileName);
    // The version block within a file's bytes (PE resource or ELF section).
    static QByteArray VersionBlockOf(const QByteArray& fileData);
    // Looks a path such as "\VarFileInfo\Translation" up in a version block
    // (names compared without regard to letter case) and returns the value's
    // bytes; none when the path does not exist.
    static std::optional<QByteArray> QueryValue(const QByteArray& block, const QString& path);
    // A text value up to its terminating NUL.
    static std::optional<QString> QueryText(const QByteArray& block, const QString& path);

private:
    void ReadFile();
    void Clear();

    QString m_executableFile;
    QString m_countryCode;
    QString m_companyName;
    QString m_fileDescription;
    QString m_fileVersion;
    QString m_internalName;
    QString m_legalCopyright;
    QString m_legalTradeMarks;
    QString m_originalFilename;
    QString m_productName;
    QString m_productVersion;
    QString m_comments;
};
