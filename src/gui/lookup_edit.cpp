// TTynLookupEdit's parts: the read-only edit and, beside it at the edit's height, the folder button whose
// click is the widget's Button1Click.
#include "gui/lookup_edit.h"

#include <QHBoxLayout>

namespace tarvex::gui {

TTynLookupEdit::TTynLookupEdit(QWidget* parent)
    : QWidget(parent), edit_(new QLineEdit(this)), button_(new QToolButton(this)) {
    edit_->setReadOnly(true);
    button_->setObjectName("Button1");
    button_->setIcon(QIcon(":/icons/folder.svg"));
    button_->setIconSize({16, 16});
    button_->setFocusPolicy(Qt::NoFocus);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(1);
    layout->addWidget(edit_, 1);
    layout->addWidget(button_);
    button_->setFixedHeight(edit_->sizeHint().height());
    connect(button_, &QToolButton::clicked, this, &TTynLookupEdit::Button1Click);
}

}  // namespace tarvex::gui
