// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QThreadPool>
#include <QWidget>

class MessengerModel;
class QLabel;
class QPushButton;

// One line of text elided in the middle to the width it is given; for paths,
// whose start and file name matter most.
class ElidedLabel : public QWidget
{
    Q_OBJECT

public:
    explicit ElidedLabel(QWidget* parent = nullptr);
    void setText(const QString& text);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_text;
};

// What a person watching the demo sees: who is signed in and the current
// display picture, kept live from the model.
class MessengerWindow : public QWidget
{
    Q_OBJECT

public:
    static constexpr int PictureEdge = 96;

    explicit MessengerWindow(MessengerModel* model, QWidget* parent = nullptr);
    ~MessengerWindow() override;

private:
    void showAccount();
    void showPicture(const QString& path);
    void setPreview(const QImage& image);

    MessengerModel* m_model;
    QLabel* m_picture;
    QLabel* m_account;
    QLabel* m_state;
    QPushButton* m_signInOut;
    ElidedLabel* m_path;
    // Previews decode off the GUI thread so a huge file cannot stall the bus.
    QThreadPool m_previewPool;
    quint64 m_previewTicket = 0;
};
