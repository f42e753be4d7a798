// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/Controls.h"

#include <QKeyEvent>
#include <QPainter>
#include <QStyleOptionFocusRect>

#include <limits>

void placeControl(QWidget* control, const QString& name, const twips::Rect& rect)
{
    control->setObjectName(name);
    control->setGeometry(rect.toPixels());
}

void makeHiddenStorage(QWidget* control)
{
    control->setFocusPolicy(Qt::NoFocus);
    control->hide();
}

Label::Label(QWidget* parent, const QString& name, const QString& caption, const twips::Rect& rect,
             const LabelStyle& style)
    : QLabel(caption, parent), m_autoSize(style.autoSize)
{
    placeControl(this, name, rect);
    setAlignment(style.alignment);
    setWordWrap(!style.autoSize);
    setAutoFillBackground(style.opaque);
    setMouseTracking(true);
    setTextFormat(Qt::PlainText);
    QFont f = font();
    f.setBold(style.bold);
    f.setUnderline(style.underline);
    f.setItalic(style.italic);
    setFont(f);
    if (style.color.isValid())
        setTextColor(style.color);
    if (style.actsAsLink) {
        setFocusPolicy(Qt::StrongFocus);
        setAccessibleDescription(QStringLiteral("link"));
    }
    if (m_autoSize)
        adjustSize();
}

void Label::setCaption(const QString& caption)
{
    setText(caption);
    if (m_autoSize)
        adjustSize();
}

QColor Label::textColor() const
{
    return palette().color(QPalette::Active, QPalette::WindowText);
}

void Label::setTextColor(const QColor& color)
{
    // Only the active and inactive groups: a disabled label keeps drawing greyed.
    QPalette p = palette();
    p.setColor(QPalette::Active, QPalette::WindowText, color);
    p.setColor(QPalette::Inactive, QPalette::WindowText, color);
    setPalette(p);
}

void Label::setBold(bool bold)
{
    QFont f = font();
    f.setBold(bold);
    setFont(f);
    if (m_autoSize)
        adjustSize();
}

void Label::setUnderline(bool underline)
{
    QFont f = font();
    f.setUnderline(underline);
    setFont(f);
}

void Label::mousePressEvent(QMouseEvent* event)
{
    m_pressed = event->button() == Qt::LeftButton;
    QLabel::mousePressEvent(event);
}

void Label::mouseReleaseEvent(QMouseEvent* event)
{
    const bool click =
        m_pressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    m_pressed = false;
    QLabel::mouseReleaseEvent(event);
    if (click)
        Q_EMIT clicked();
}

void Label::mouseMoveEvent(QMouseEvent* event)
{
    Q_EMIT pointerMoved(PointerMove::from(event));
    QLabel::mouseMoveEvent(event);
}

void Label::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    if (focusPolicy() != Qt::NoFocus &&
        (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter) && !event->isAutoRepeat()) {
        Q_EMIT clicked();
        return;
    }
    QLabel::keyPressEvent(event);
}

void Label::paintEvent(QPaintEvent* event)
{
    QLabel::paintEvent(event);
    if (!hasFocus())
        return;
    // Keyboard users see which caption Space or Enter would click.
    QStyleOptionFocusRect option;
    option.initFrom(this);
    option.rect = contentsRect();
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
}

TextField::TextField(QWidget* parent, const QString& name, const QString& text, const twips::Rect& rect,
                     Qt::Alignment alignment)
    : QLineEdit(parent), m_text(text)
{
    placeControl(this, name, rect);
    setMaxLength(std::numeric_limits<int>::max());
    setAlignment(alignment | Qt::AlignVCenter);
    QLineEdit::setText(text);
    connect(this, &QLineEdit::textEdited, this, [this](const QString& edited) { m_text = edited; });
}

void TextField::setText(const QString& text)
{
    m_text = text;
    QLineEdit::setText(text);
}

Button::Button(QWidget* parent, const QString& name, const QString& caption, const twips::Rect& rect)
    : QPushButton(caption, parent)
{
    placeControl(this, name, rect);
    // Enter presses the focused button, as on every desktop.
    setAutoDefault(true);
}

Frame::Frame(QWidget* parent, const QString& name, const twips::Rect& rect, const QColor& background)
    : QFrame(parent)
{
    placeControl(this, name, rect);
    setFrameShape(QFrame::NoFrame);
    if (background.isValid()) {
        QPalette p = palette();
        p.setColor(QPalette::Window, background);
        setPalette(p);
        setAutoFillBackground(true);
    }
}

Picture::Picture(QWidget* parent, const QString& name, const QPixmap& pixmap, const twips::Rect& rect)
    : QLabel(parent)
{
    placeControl(this, name, rect);
    setPixmap(pixmap);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setMouseTracking(true);
    // Decoration only: screen readers skip it.
    setAccessibleName(QString());
}

void Picture::mouseMoveEvent(QMouseEvent* event)
{
    Q_EMIT pointerMoved(PointerMove::from(event));
    QLabel::mouseMoveEvent(event);
}

Line::Line(QWidget* parent, const QString& name, int x1, int y1, int x2, int y2, const QColor& color)
    : QFrame(parent)
{
    const bool horizontal = y1 == y2;
    const int left = twips::toPixels(std::min(x1, x2));
    const int top = twips::toPixels(std::min(y1, y2));
    const int length = twips::toPixels(horizontal ? std::abs(x2 - x1) : std::abs(y2 - y1)) + 1;
    setObjectName(name);
    setGeometry(horizontal ? QRect(left, top, length, 1) : QRect(left, top, 1, length));
    setFrameShape(QFrame::NoFrame);
    QPalette p = palette();
    p.setColor(QPalette::Window, color);
    setPalette(p);
    setAutoFillBackground(true);
}

ListBox::ListBox(QWidget* parent, const QString& name, const twips::Rect& rect) : QListWidget(parent)
{
    placeControl(this, name, rect);
    setUniformItemSizes(true);
}

void ListBox::appendLine(const QString& line)
{
    addItem(line);
}

CheckBox::CheckBox(QWidget* parent, const QString& name, const QString& caption, const twips::Rect& rect)
    : QCheckBox(caption, parent)
{
    placeControl(this, name, rect);
}

void setTopTwips(QWidget* control, int top)
{
    control->move(control->x(), twips::toPixels(top));
}

void setHeightTwips(QWidget* control, int height)
{
    control->resize(control->width(), twips::toPixels(height));
}
