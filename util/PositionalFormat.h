#pragma once
// The positional formatter: "%N" placeholders (with fill, width and
// alignment) filled from a list of typed values.
#include <QChar>
#include <QString>
#include <cstdint>
#include <variant>
#include <vector>

struct VarRec {
    // A class: shown as its name.
    struct ClassName {
        QString name;
    };
    // An object: shown as "(ClassName)".
    struct ObjectRef {
        QString className;
    };
    struct Pointer {
        const void* p;
    };
    struct Interface {
        const void* p;
    };
    std::variant<int, int64_t, bool, QChar, double, QString, Pointer, Interface, ObjectRef,
                 ClassName>
        value;
    VarRec(int v) : value(v) {}
    VarRec(int64_t v) : value(v) {}
    VarRec(bool v) : value(v) {}
    VarRec(QChar v) : value(v) {}
    VarRec(double v) : value(v) {}
    VarRec(const QString& v) : value(v) {}
    VarRec(const char* v) : value(QString::fromUtf8(v)) {}
    VarRec(Pointer v) : value(v) {}
    VarRec(Interface v) : value(v) {}
    VarRec(ObjectRef v) : value(v) {}
    VarRec(ClassName v) : value(v) {}
};
QString VarRecToText(const VarRec& value, int width);
void FormatPositional(const QString& templ, const std::vector<VarRec>& values, QString& text);
