// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCheckBox>
#include <QColor>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>

#include "controls/PointerMove.h"
#include "controls/Twips.h"

// The control kinds that the program's windows are built from. Each is a plain
// Qt widget placed by twips, named after its role (objectName), offering the
// few operations that the program's handlers perform on it.

// Gives a control its name and place, and for hidden storage makes sure it is
// never drawn and never takes the keyboard focus: storage that a user could tab
// into could be typed into, and that would change the program's state.
void placeControl(QWidget* control, const QString& name, const twips::Rect& rect);
void makeHiddenStorage(QWidget* control);

struct LabelStyle
{
    QColor color; // invalid: the palette's text colour
    bool underline = false;
    bool bold = false;
    bool italic = false;
    bool autoSize = false; // grows or shrinks to its caption, never wraps
    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignTop;
    bool opaque = false;     // paints its own background instead of showing what lies behind
    bool actsAsLink = false; // takes the keyboard focus; Space or Enter clicks it
};

class Label : public QLabel
{
    Q_OBJECT
public:
    Label(QWidget* parent, const QString& name, const QString& caption, const twips::Rect& rect,
          const LabelStyle& style = {});

    QString caption() const { return text(); }
    void setCaption(const QString& caption);
    QColor textColor() const;
    void setTextColor(const QColor& color);
    bool isBold() const { return font().bold(); }
    void setBold(bool bold);
    bool isUnderlined() const { return font().underline(); }
    void setUnderline(bool underline);

Q_SIGNALS:
    void clicked();
    void pointerMoved(const PointerMove& move);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    bool m_autoSize;
    bool m_pressed = false;
};

// A single-line text field. It keeps its text exactly as written (a file name
// may hold any character, a line break included), whatever the editor shows.
class TextField : public QLineEdit
{
    Q_OBJECT
public:
    TextField(QWidget* parent, const QString& name, const QString& text, const twips::Rect& rect,
              Qt::Alignment alignment = Qt::AlignLeft);

    QString text() const { return m_text; }
    void setText(const QString& text);

private:
    QString m_text;
};

class Button : public QPushButton
{
    Q_OBJECT
public:
    Button(QWidget* parent, const QString& name, const QString& caption, const twips::Rect& rect);
};

// A borderless container; enabling or disabling it applies to all its children.
class Frame : public QFrame
{
    Q_OBJECT
public:
    Frame(QWidget* parent, const QString& name, const twips::Rect& rect, const QColor& background = {});
};

// A fixed picture; its size comes from the twips rectangle, not from the image.
class Picture : public QLabel
{
    Q_OBJECT
public:
    Picture(QWidget* parent, const QString& name, const QPixmap& pixmap, const twips::Rect& rect);

Q_SIGNALS:
    void pointerMoved(const PointerMove& move);

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
};

// A one-pixel rule between two points in twips (horizontal or vertical).
class Line : public QFrame
{
    Q_OBJECT
public:
    Line(QWidget* parent, const QString& name, int x1, int y1, int x2, int y2, const QColor& color);
};

class ListBox : public QListWidget
{
    Q_OBJECT
public:
    ListBox(QWidget* parent, const QString& name, const twips::Rect& rect);

    void appendLine(const QString& line);
    void removeAllLines() { clear(); }
    int lineCount() const { return count(); }
};

class CheckBox : public QCheckBox
{
    Q_OBJECT
public:
    CheckBox(QWidget* parent, const QString& name, const QString& caption, const twips::Rect& rect);
};

// Height and top of a control in twips, kept in pixels by the widget.
void setTopTwips(QWidget* control, int top);
void setHeightTwips(QWidget* control, int height);
