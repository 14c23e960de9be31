#pragma once
// The version resource of an executable, from its bytes alone: the classic
// version block (VS_VERSIONINFO with its StringFileInfo and VarFileInfo
// children) in a PE file's resource section or in the ELF section
// ".oxaversion" (see appinfo/VersionBlock.h), and the lookups in it. Every
// read is bounds-checked, so a truncated or foreign file only makes a lookup
// fail.
#include <QByteArray>
#include <QString>
#include <optional>

namespace appinfo {

// The version block within a file's bytes; empty when there is none.
QByteArray versionBlockOf(const QByteArray& fileData);
// Looks a path such as "\VarFileInfo\Translation" up in a version block
// (names compared without regard to letter case) and returns the value's
// bytes; none when the path does not exist.
std::optional<QByteArray> queryVersionValue(const QByteArray& block, const QString& path);
// A text value (UTF-16) up to its terminating NUL.
std::optional<QString> queryVersionText(const QByteArray& block, const QString& path);

} // namespace appinfo
