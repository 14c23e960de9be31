#pragma once
// The version resource of an executable, from its bytes alone: the classic
// version block (VS_VERSIONINFO with its StringFileInfo and VarFileInfo
// children) in a PE file's resource section or in the ELF section
// ".oxaversion" (see appinfo/VersionBlock.h), and the lookups in it. Every
// read is bounds-checked, so a truncated or foreign file only makes a lookup
// fail.
#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

namespace appinfo {

// The version block within a file's bytes; empty when there is none.
QByteArray versionBlockOf(const QByteArray& fileData);
// Reads count bytes at offset into out (the range lies within the file);
// false when they cannot be read.
using FileReader = std::function<bool(qint64 offset, qint64 count, char* out)>;
// The same for a file of fileSize bytes that is read only where the headers
// lead, so an executable with its debug information is not read whole.
QByteArray versionBlockOf(qint64 fileSize, const FileReader& read);
// Looks a path such as "\VarFileInfo\Translation" up in a version block
// (names compared without regard to letter case) and returns the value's
// bytes; none when the path does not exist.
std::optional<QByteArray> queryVersionValue(const QByteArray& block, const QString& path);
// A text value (UTF-16) up to its terminating NUL.
std::optional<QString> queryVersionText(const QByteArray& block, const QString& path);

} // namespace appinfo
