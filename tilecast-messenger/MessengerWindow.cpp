// SPDX-License-Identifier: GPL-3.0-or-later
#include "MessengerWindow.h"

#include <QCoreApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "MessengerModel.h"

ElidedLabel::ElidedLabel(QWidget* parent) : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void ElidedLabel::setText(const QString& text)
{
    // Line breaks in a path would split the single line; show them as a symbol.
    m_text = text;
    m_text.replace(u'\n', u'\u21b5');
    setToolTip(text);
    updateGeometry();
    update();
}

QSize ElidedLabel::sizeHint() const
{
    return {fontMetrics().horizontalAdvance(m_text), fontMetrics().height()};
}

QSize ElidedLabel::minimumSizeHint() const
{
    return {fontMetrics().averageCharWidth() * 8, fontMetrics().height()};
}

void ElidedLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::PlaceholderText));
    const QString shown = fontMetrics().elidedText(m_text, Qt::ElideMiddle, width());
    painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter, shown);
}

MessengerWindow::MessengerWindow(MessengerModel* model, QWidget* parent)
    : QWidget(parent), m_model(model), m_picture(new QLabel(this)), m_account(new QLabel(this)),
      m_state(new QLabel(this)), m_signInOut(new QPushButton(this)), m_path(new ElidedLabel(this))
{
    setWindowTitle(tr("Tilecast Messenger"));
    m_previewPool.setMaxThreadCount(1);

    m_picture->setFixedSize(PictureEdge + 6, PictureEdge + 6);
    m_picture->setAlignment(Qt::AlignCenter);
    m_picture->setFrameShape(QFrame::StyledPanel);
    m_picture->setFrameShadow(QFrame::Sunken);

    QFont accountFont = m_account->font();
    accountFont.setPointSizeF(accountFont.pointSizeF() * 1.4);
    accountFont.setBold(true);
    m_account->setFont(accountFont);
    m_account->setTextFormat(Qt::PlainText);
    m_account->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* details = new QVBoxLayout;
    details->addWidget(m_account);
    details->addWidget(m_state);
    details->addStretch(1);
    details->addWidget(m_signInOut, 0, Qt::AlignLeft);

    auto* top = new QHBoxLayout;
    top->setSpacing(14);
    top->addWidget(m_picture, 0, Qt::AlignTop);
    top->addLayout(details, 1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 14, 14, 12);
    layout->addLayout(top);
    layout->addWidget(m_path);

    connect(m_signInOut, &QPushButton::clicked, this, [this] {
        if (m_model->isSignedIn())
            m_model->signOut();
        else
            m_model->signIn();
    });
    connect(m_model, &MessengerModel::signedInChanged, this, &MessengerWindow::showAccount);
    connect(m_model, &MessengerModel::accountChanged, this, &MessengerWindow::showAccount);
    connect(m_model, &MessengerModel::displayPictureChanged, this, &MessengerWindow::showPicture);

    showAccount();
    showPicture(m_model->displayPicture());
    resize(380, sizeHint().height());
}

MessengerWindow::~MessengerWindow()
{
    // Late previews must not arrive at a half-destroyed window.
    m_previewPool.clear();
    m_previewPool.waitForDone();
}

void MessengerWindow::showAccount()
{
    const QString name = m_model->account();
    m_account->setText(name.isEmpty() ? tr("(empty name)") : name);
    // Italic tells the placeholder apart from an account really called that.
    QFont font = m_account->font();
    font.setItalic(name.isEmpty());
    m_account->setFont(font);
    QPalette palette = m_state->palette();
    if (m_model->isSignedIn()) {
        m_state->setText(tr("\u25cf Signed in"));
        // This window follows the desktop's theme: a green that reads on its window colour.
        const bool darkWindow = palette.color(QPalette::Window).lightness() < 128;
        palette.setColor(QPalette::WindowText,
                         darkWindow ? QColor(0x81, 0xc7, 0x84) : QColor(0x2e, 0x7d, 0x32));
        m_signInOut->setText(tr("Sign out"));
    } else {
        m_state->setText(tr("\u25cb Signed out"));
        palette.setColor(QPalette::WindowText, palette.color(QPalette::PlaceholderText));
        m_signInOut->setText(tr("Sign in"));
    }
    m_state->setPalette(palette);
}

void MessengerWindow::showPicture(const QString& path)
{
    const quint64 ticket = ++m_previewTicket;
    m_path->setText(path.isEmpty() ? tr("No display picture yet") : path);
    if (path.isEmpty()) {
        setPreview({});
        return;
    }
    const qreal ratio = devicePixelRatioF();
    const int edge = qRound(PictureEdge * ratio);
    QPointer<MessengerWindow> self(this);
    m_previewPool.start([self, path, edge, ratio, ticket] {
        QImage image = MessengerModel::loadPreview(path, edge);
        image.setDevicePixelRatio(ratio);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, image, ticket] {
                // Only the newest picture counts; older loads may finish late.
                if (self && ticket == self->m_previewTicket)
                    self->setPreview(image);
            },
            Qt::QueuedConnection);
    });
}

void MessengerWindow::setPreview(const QImage& image)
{
    if (image.isNull()) {
        m_picture->setPixmap({});
        m_picture->setText(m_model->displayPicture().isEmpty() ? tr("No picture") : tr("No preview"));
        return;
    }
    m_picture->setPixmap(QPixmap::fromImage(image));
}
