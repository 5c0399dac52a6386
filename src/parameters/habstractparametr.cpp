#include "parameters/habstractparametr.h"

HAbstractParametr::HAbstractParametr(const QString* caption, quint8 flags)
    : flagSet(flags), ownsCaption((flags & OwnCaption) != 0)
{
    if (ownsCaption)
        captionText = new QString(caption ? *caption : QString());
    else
        captionText = caption;
}

HAbstractParametr::~HAbstractParametr()
{
    if (ownsCaption)
        delete captionText;
    delete toolTipText;
}

QString HAbstractParametr::valueText() const
{
    return QString();
}

QString HAbstractParametr::caption() const
{
    return captionText ? *captionText : QString();
}

QString HAbstractParametr::toolTip() const
{
    return toolTipText ? *toolTipText : QString();
}

void HAbstractParametr::setToolTip(const QString& text)
{
    if (!toolTipText)
        toolTipText = new QString(text);
    else
        *toolTipText = text;
}
