// TTynLookupEdit: a read-only edit with one attached button (Button1) that opens a chooser.
#pragma once

#include <QLineEdit>
#include <QToolButton>
#include <QWidget>

namespace tarvex::gui {

class TTynLookupEdit : public QWidget {
    Q_OBJECT
public:
    explicit TTynLookupEdit(QWidget* parent = nullptr);

    QString text() const { return edit_->text(); }
    void setText(const QString& text) { edit_->setText(text); }
    QLineEdit* Edit() const { return edit_; }
    QToolButton* Button1() const { return button_; }

signals:
    void Button1Click();

private:
    QLineEdit* edit_;
    QToolButton* button_;
};

}  // namespace tarvex::gui
