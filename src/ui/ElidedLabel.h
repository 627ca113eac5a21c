// A label for a path or a name that may be long.
#pragma once

#include <QLabel>
#include <QString>

class QLineEdit;

namespace quillon {

// Shows its text elided in the middle to the width it is given, so the text never widens its
// window; the tooltip says what the text stands for.
class ElidedLabel : public QLabel {
  public:
    ElidedLabel();
    void SetFullText(const QString& text, const QString& toolTip);
    const QString& FullText() const { return full_; }

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void Elide();

    QString full_;
};

// The same for a read-only field of a fixed width: the text elided in the middle, in full as the
// tooltip.
void SetElidedText(QLineEdit* field, const QString& text);

}  // namespace quillon
