#pragma once
// Feeds rendered chunks into the terminal's text view. The adds of one event
// are gathered and applied together when control returns to the event loop
// (or at flush()): one removal at the top, one insertion per colour run at the
// end and one view restore. Every trimming decision is taken per add on a model
// of the text, so the result equals inserting the chunks one by one.
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QRgb>
#include <QString>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTimer>
#include <functional>
#include <vector>

#include "terminal/TerminalRender.h"

#include <QPlainTextEdit>

class TerminalDisplay : public QObject {
    Q_OBJECT
public:
    explicit TerminalDisplay(QPlainTextEdit* edit, QObject* parent = nullptr);

    QPlainTextEdit* edit() const { return m_edit; }

    // Trims for the chunk's length, then queues the chunk; rowColor is the
    // colour of everything outside the chunk's runs.
    void add(const terminal::RenderedChunk& chunk, QRgb rowColor, int maxLines, int maxChars);
    // Trims for 2 characters and queues a line break.
    void endLine(int maxLines, int maxChars);
    // Empties the view and drops everything queued.
    void clear();
    // The length of the display's last line, queued text included.
    int lastLineLength();
    // Applies everything queued now.
    void flush();
    bool hasPending() const { return m_cutDoc > 0 || m_pendingOffset < m_pending.size(); }

    // While held the view stays where it is, as if the operator were reading
    // (the find bar shows a match).
    void setHeld(bool held);
    bool held() const { return m_held; }

    // Repaint the view after each update step.
    void setImmediateRepaint(bool on) { m_immediateRepaint = on; }
    // Called after each flush that changed the view.
    std::function<void()> onFlushed;

    const terminal::DisplayModel& model() const { return m_model; }

private:
    struct Segment {
        qsizetype end; // exclusive, in m_pending
        QRgb color;
    };
    void syncModel();
    void trim(int addLength, int maxLines, int maxChars);
    void queue(const QString& text, const std::vector<terminal::ColorRun>& runs, QRgb rowColor);
    void queueText(const QChar* text, qsizetype length, QRgb color);
    void keepGlyphs(QTextBlock block);
    void schedule();
    const QTextCharFormat& format(QRgb color);
    void repaintIfWanted();
    void throttlePainting();
    int visibleLines() const;
    int bottomValue() const;
    void scrollToBottom();
    bool eventFilter(QObject* watched, QEvent* event) override;

    QPointer<QPlainTextEdit> m_edit;
    // What the event filter watches, for comparison only (never dereferenced).
    const QObject* m_filteredEdit = nullptr;
    const QObject* m_filteredViewport = nullptr;
    terminal::DisplayModel m_model;
    bool m_modelDirty = false; // the text was changed by someone else
    bool m_inUpdate = false;

    int m_docLength = 0;           // characters in the view at the last flush
    int m_cutDoc = 0;              // characters to remove from the top of the view
    int m_removedLines = 0;        // whole lines removed since the last flush
    QString m_pending;             // queued text
    qsizetype m_pendingOffset = 0; // queued text already trimmed away again
    std::vector<Segment> m_segments;
    bool m_flushPosted = false;
    bool m_immediateRepaint = false;
    bool m_held = false;
    QHash<QRgb, QTextCharFormat> m_formats;
    // A fast stream of events would repaint the view after each one; the
    // pixels catch up at most every PaintInterval ms instead. Repainting is
    // the largest cost of a steady stream (at 1,000,000 baud, 40 ms cost about
    // 12% of a core against 7% for 100 ms), and ten updates a second still
    // read as a live console.
    static constexpr int PaintInterval = 100;
    QElapsedTimer m_sincePaint;
    QTimer m_paintTimer;
};
