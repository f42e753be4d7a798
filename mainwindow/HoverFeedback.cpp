// SPDX-License-Identifier: GPL-3.0-or-later
#include "mainwindow/HoverFeedback.h"

#include "controls/Colours.h"
#include "mainwindow/Form1.h"

namespace {

// Each list caption darkens itself and rests the other two, in this order.
void hoverListCaption(Label* hovered, Label* other1, Label* other2)
{
    hovered->setTextColor(colours::hoverBlue);
    other1->setTextColor(colours::linkBlue);
    other2->setTextColor(colours::linkBlue);
}

void hoverLinkCaption(Label* hovered, Label* other)
{
    hovered->setUnderline(true);
    other->setUnderline(false);
}

void restCaptionsOverBanner(Form1& form)
{
    for (Label* caption : {form.Label13, form.Label16, form.Label10})
        caption->setTextColor(colours::linkBlue);
    form.Label11->setUnderline(false);
    form.Label19->setUnderline(false);
    // The notification-area icon reports its double-click directly on this
    // desktop, so pointer movement over the banner restores nothing.
}

} // namespace

void connectHoverFeedback(Form1& form)
{
    Form1* f = &form;
    QObject::connect(f->Label10, &Label::pointerMoved, f,
                     [f] { hoverListCaption(f->Label10, f->Label13, f->Label16); });
    QObject::connect(f->Label13, &Label::pointerMoved, f,
                     [f] { hoverListCaption(f->Label13, f->Label10, f->Label16); });
    QObject::connect(f->Label16, &Label::pointerMoved, f,
                     [f] { hoverListCaption(f->Label16, f->Label13, f->Label10); });
    QObject::connect(f->Label11, &Label::pointerMoved, f, [f] { hoverLinkCaption(f->Label11, f->Label19); });
    QObject::connect(f->Label19, &Label::pointerMoved, f, [f] { hoverLinkCaption(f->Label19, f->Label11); });
    QObject::connect(f->Image1, &Picture::pointerMoved, f, [f] { restCaptionsOverBanner(*f); });
}
