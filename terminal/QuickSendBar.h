#pragma once
// The quick-send buttons of the terminal window: one button per entry (F1 to
// F12 press the first twelve), a button that opens their editor, and, while a
// sequence runs or after it stopped, its step or why it ended with a Stop
// button. The bar only shows and asks: what a button does is its owner's.
#include <QStringList>
#include <QWidget>
#include <vector>

class QLabel;
class QPushButton;
class QGridLayout;

class QuickSendBar : public QWidget {
    Q_OBJECT
public:
    explicit QuickSendBar(QWidget* parent = nullptr);

    static constexpr int Columns = 6;

    // One button per label; hints say what each sends.
    void setButtons(const QStringList& labels, const QStringList& hints);
    int buttonCount() const { return int(m_buttons.size()); }
    QPushButton* button(int index) const { return m_buttons.at(size_t(index)); }
    QPushButton* editButton() const { return m_edit; }
    QPushButton* stopButton() const { return m_stop; }
    // The running sequence's step, or how the last one ended (empty: none).
    void setStatus(const QString& text, bool running);
    QString status() const;

signals:
    void pressed(int index);
    void editRequested();
    void stopRequested();

private:
    QGridLayout* m_grid = nullptr;
    std::vector<QPushButton*> m_buttons;
    QPushButton* m_edit = nullptr;
    QPushButton* m_stop = nullptr;
    QLabel* m_status = nullptr;
};
