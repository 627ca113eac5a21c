#include "ui/ElidedLabel.h"

#include <QLineEdit>
#include <QResizeEvent>
#include <QStyle>
#include <QStyleOptionFrame>

namespace quillon {

ElidedLabel::ElidedLabel() {
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void ElidedLabel::SetFullText(const QString& text, const QString& toolTip) {
    full_ = text;
    setToolTip(toolTip);
    Elide();
}

void ElidedLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    Elide();
}

void ElidedLabel::Elide() {
    setText(fontMetrics().elidedText(full_, Qt::ElideMiddle, contentsRect().width()));
}

void SetElidedText(QLineEdit* field, const QString& text) {
    QStyleOptionFrame frame;
    frame.initFrom(field);
    const QRect room = field->style()->subElementRect(QStyle::SE_LineEditContents, &frame, field);
    // The field's own margins around the text, as QLineEdit lays it out.
    const int width = room.width() - 2 * field->fontMetrics().averageCharWidth();
    field->setText(field->fontMetrics().elidedText(text, Qt::ElideMiddle, width));
    field->setToolTip(text);
}

}  // namespace quillon
