#pragma once
// Shared fixture of the log writer tests: a temporary current directory, a
// settable clock and helpers to read the files back.
#include <QByteArray>
#include <QCoreApplication>
#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QMetaObject>
#include <QTemporaryDir>
#include <QTime>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

#include "terminal/VOxaLogger.h"
#include "util/OxaUtils.h"

class LoggerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_oldCurrent = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(m_dir.path()));
        m_sep = LocaleTimeSeparator().toLocal8Bit();
    }
    void TearDown() override { QDir::setCurrent(m_oldCurrent); }

    // A logger as the terminal configures it: daily files from the usual pattern.
    std::unique_ptr<VOxaLogger> makeLogger(const QString& pattern = "logs\\Dralvo_*.log") {
        auto logger = std::make_unique<VOxaLogger>();
        logger->SetLogPath(pattern);
        logger->SetNewFileStyle(volnfDaily);
        logger->SetClock([this] { return m_now; });
        return logger;
    }

    void setNow(int y, int mo, int d, int h, int mi, int s, int ms) {
        m_now = QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms));
    }

    // "2026-12-07 15:04:05.123: " for the current clock, or for a time.
    QByteArray stamp() const { return stampOf(m_now); }
    QByteArray stampOf(const QDateTime& at) const {
        const QTime t = at.time();
        const auto two = [](int v) { return QByteArray::number(v).rightJustified(2, '0'); };
        return at.date().toString(Qt::ISODate).toLatin1() + ' ' + two(t.hour()) + m_sep +
               two(t.minute()) + m_sep + two(t.second()) + '.' +
               QByteArray::number(t.msec()).rightJustified(3, '0') + ": ";
    }

    // The record that says how many records were not logged, written now.
    QByteArray notLogged(int records, const QByteArray& sinceStamp) const {
        return stamp() + "A -- WARNING: " + QByteArray::number(records) +
               " record(s) not logged since " + sinceStamp.chopped(2) + " --\r\n";
    }

    static QByteArray readAll(const QString& path) {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            return QByteArray("<missing>");
        return f.readAll();
    }
    QString dayFile(const QString& date) const {
        return m_dir.filePath("logs/Dralvo_" + date + ".log");
    }
    static void writeFile(const QString& path, const QByteArray& bytes) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    // Runs work inside an event of a running event loop and returns once the
    // events it posted have been handled.
    static void inEventLoop(const std::function<void()>& work) {
        QEventLoop loop;
        QTimer::singleShot(0, &loop, [&] {
            work();
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
        loop.exec();
    }

    QTemporaryDir m_dir;
    QString m_oldCurrent;
    QByteArray m_sep;
    QDateTime m_now = QDateTime(QDate(2026, 12, 7), QTime(15, 4, 5, 123));
};
