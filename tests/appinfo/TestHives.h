#pragma once
// Points the user and machine hives at a fresh temporary folder per test.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>

class HiveFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        setenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.path() + "/home").constData(), 1);
        setenv("XDG_CONFIG_DIRS", QFile::encodeName(m_dir.path() + "/etc").constData(), 1);
    }
    QString userFile() const { return m_dir.path() + "/home/Oxatek/user.reg"; }
    QString machineFile() const { return m_dir.path() + "/etc/Oxatek/machine.reg"; }

    static void writeFile(const QString& path, const QByteArray& bytes) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    static QByteArray readFile(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QTemporaryDir m_dir;
};
