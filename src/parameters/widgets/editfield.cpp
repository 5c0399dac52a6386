#include "parameters/widgets/editfield.h"

#include "parameters/parametrdouble.h"
#include "parameters/parametreditableenum.h"
#include "parameters/parametrenum.h"
#include "parameters/parametrint.h"
#include "parameters/parametrip.h"
#include "parameters/parametrpath.h"
#include "parameters/parametrstring.h"
#include "parameters/widgets/heditableenumedit.h"
#include "parameters/widgets/hpathedit.h"
#include "shell/qtcompat.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QSpinBox>
#include <QTextCursor>
#include <QTextEdit>

namespace {

void fillItems(QComboBox* box, const EnumItemList* items)
{
    box->clear();
    if (!items)
        return;
    for (const EnumItem* item : *items) {
        if (item)
            box->addItem(item->text, QVariant(static_cast<int>(item->value)));
    }
}

bool isMultiLine(const HAbstractParametr* p)
{
    return p->type() == TypeString && p->testFlag(AltEditor);
}

// The same kind code can need another widget (String with or without AltEditor).
bool editorFits(QWidget* editor, const HAbstractParametr* p)
{
    switch (p->type()) {
    case TypeEnum:
        return qobject_cast<QComboBox*>(editor) && !qobject_cast<HEditableEnumEdit*>(editor);
    case TypeString:
        return isMultiLine(p) ? qobject_cast<QTextEdit*>(editor) != nullptr
                              : qobject_cast<QLineEdit*>(editor) != nullptr;
    case TypeDouble:
        return qobject_cast<QDoubleSpinBox*>(editor) != nullptr;
    case TypeInt:
        return qobject_cast<QSpinBox*>(editor) != nullptr;
    case TypePath:
        return qobject_cast<HPathEdit*>(editor) != nullptr;
    case TypeEditableEnum:
        return qobject_cast<HEditableEnumEdit*>(editor) != nullptr;
    case TypeIP:
        return qobject_cast<QLineEdit*>(editor) != nullptr;
    default:
        return false;
    }
}

} // namespace

EditField::EditField(QWidget* parent) : QWidget(parent)
{
    layout = new QHBoxLayout(this);
    layout->setSpacing(0);
    layout->setContentsMargins(0, 0, 0, 0);
    // Connected first, so that whoever listens to changed() later sees the stored value.
    connect(this, SIGNAL(changed()), this, SLOT(onEdit()));
}

EditField::EditField(HAbstractParametr* parametr, QWidget* parent) : EditField(parent)
{
    setParametr(parametr);
}

QString EditField::ipv4Pattern()
{
    const QString octet = QStringLiteral("(?:[0-1]?[0-9]?[0-9]|2[0-4][0-9]|25[0-5])");
    const QString dot = QStringLiteral("\\.");
    return QLatin1Char('^') + octet + dot + octet + dot + octet + dot + octet + QLatin1Char('$');
}

QValidator* EditField::ipv4Validator()
{
    if (!validator)
        validator = QtCompat::patternValidator(ipv4Pattern(), this);
    return validator;
}

bool EditField::needsRebuild() const
{
    return bound && bound->type() != builtType;
}

void EditField::rebuild()
{
    setParametr(bound);
}

void EditField::setEditorPalette(const QPalette& palette)
{
    if (editorWidget)
        editorWidget->setPalette(palette);
}

void EditField::dropEditor()
{
    if (!editorWidget)
        return;
    disconnect(editorWidget, nullptr, this, nullptr);
    if (signalSource && signalSource != editorWidget)
        disconnect(signalSource, nullptr, this, nullptr);
    layout->removeWidget(editorWidget);
    editorWidget->hide();
    editorWidget->deleteLater();
    editorWidget = nullptr;
    signalSource = nullptr;
    editorSignal = nullptr;
}

void EditField::setParametr(HAbstractParametr* p)
{
    if (!p)
        return;
    setToolTip(p->toolTip());
    if (editorWidget && (builtType != p->type() || !editorFits(editorWidget, p)))
        dropEditor();
    bound = p;
    if (editorWidget) {
        disconnect(signalSource, editorSignal, this, SIGNAL(changed()));
        fill(p);
        connect(signalSource, editorSignal, this, SIGNAL(changed()));
    } else {
        buildEditor(p);
        if (editorWidget) {
            fill(p);
            connect(signalSource, editorSignal, this, SIGNAL(changed()));
            layout->addWidget(editorWidget);
        }
    }
    builtType = p->type();
}

void EditField::buildEditor(HAbstractParametr* p)
{
    switch (p->type()) {
    case TypeEnum:
        editorWidget = new QComboBox(this);
        editorSignal = SIGNAL(currentIndexChanged(int));
        break;
    case TypeString:
        if (p->testFlag(AltEditor)) {
            auto* box = new QTextEdit(this);
            box->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
            box->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Maximum);
            box->setAcceptRichText(false);
            editorWidget = box;
            editorSignal = SIGNAL(textChanged());
        } else {
            editorWidget = new QLineEdit(this);
            editorSignal = SIGNAL(textChanged(QString));
        }
        break;
    case TypeDouble:
        editorWidget = new QDoubleSpinBox(this);
        editorSignal = SIGNAL(valueChanged(double));
        break;
    case TypeInt:
        editorWidget = new QSpinBox(this);
        editorSignal = SIGNAL(valueChanged(int));
        break;
    case TypePath: {
        auto* path = new HPathEdit(this);
        editorWidget = path;
        signalSource = path->lineEdit();
        editorSignal = SIGNAL(textChanged(QString));
        return;
    }
    case TypeEditableEnum:
        editorWidget = new HEditableEnumEdit(this);
        editorSignal = SIGNAL(onFocusLostEvent());
        break;
    case TypeIP: {
        auto* line = new QLineEdit(this);
        line->setValidator(ipv4Validator());
        editorWidget = line;
        editorSignal = SIGNAL(textEdited(QString));
        break;
    }
    default:
        editorWidget = nullptr;
        editorSignal = nullptr;
        break;
    }
    signalSource = editorWidget;
}

void EditField::fill(HAbstractParametr* p)
{
    switch (p->type()) {
    case TypeEnum: {
        auto* e = static_cast<ParametrEnum*>(p);
        auto* box = static_cast<QComboBox*>(editorWidget);
        fillItems(box, e->items());
        box->setCurrentIndex(e->currentIndex());
        break;
    }
    case TypeString: {
        auto* s = static_cast<ParametrString*>(p);
        if (auto* box = qobject_cast<QTextEdit*>(editorWidget)) {
            box->setPlainText(s->value());
        } else {
            auto* line = static_cast<QLineEdit*>(editorWidget);
            if (s->maxLength() >= 0)
                line->setMaxLength(s->maxLength());
            line->setText(s->value());
        }
        break;
    }
    case TypeDouble: {
        auto* d = static_cast<ParametrDouble*>(p);
        auto* box = static_cast<QDoubleSpinBox*>(editorWidget);
        box->setDecimals(d->decimals());
        box->setRange(d->minimum(), d->maximum());
        box->setValue(d->value());
        break;
    }
    case TypeInt: {
        auto* i = static_cast<ParametrInt*>(p);
        auto* box = static_cast<QSpinBox*>(editorWidget);
        box->setRange(i->minimum(), i->maximum());
        box->setValue(i->value());
        break;
    }
    case TypePath: {
        auto* path = static_cast<ParametrPath*>(p);
        auto* edit = static_cast<HPathEdit*>(editorWidget);
        edit->setParametr(path);
        edit->lineEdit()->setText(path->value());
        break;
    }
    case TypeEditableEnum: {
        auto* e = static_cast<ParametrEditableEnum*>(p);
        auto* box = static_cast<HEditableEnumEdit*>(editorWidget);
        fillItems(box, e->items());
        box->setCurrentText(e->valueText());
        break;
    }
    case TypeIP: {
        auto* line = static_cast<QLineEdit*>(editorWidget);
        line->clear();
        line->setText(static_cast<ParametrIP*>(p)->addressText());
        break;
    }
    default:
        break;
    }
}

void EditField::onEdit()
{
    if (!bound || !editorWidget)
        return;
    switch (bound->type()) {
    case TypeEnum: {
        auto* box = static_cast<QComboBox*>(editorWidget);
        // Nothing chosen is not a choice: keep the value rather than invent 0.
        if (box->currentIndex() < 0)
            return;
        static_cast<ParametrEnum*>(bound)->setValue(box->currentData().toInt());
        break;
    }
    case TypeString: {
        auto* s = static_cast<ParametrString*>(bound);
        if (auto* box = qobject_cast<QTextEdit*>(editorWidget)) {
            QString text = box->toPlainText();
            const int limit = s->maxLength();
            if (limit >= 0 && text.size() > limit) {
                int keep = limit;
                // Never leave half of a surrogate pair behind.
                if (keep > 0 && text.at(keep - 1).isHighSurrogate())
                    --keep;
                text.truncate(keep);
                s->setValue(text);
                // Cut the tail in place so the caret stays where the user is typing.
                QTextCursor cursor(box->document());
                cursor.setPosition(keep);
                cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
                cursor.removeSelectedText();
            } else {
                s->setValue(text);
            }
        } else {
            s->setValue(static_cast<QLineEdit*>(editorWidget)->text());
        }
        break;
    }
    case TypeDouble:
        static_cast<ParametrDouble*>(bound)->setValue(
            static_cast<QDoubleSpinBox*>(editorWidget)->value());
        break;
    case TypeInt:
        static_cast<ParametrInt*>(bound)->setValue(static_cast<QSpinBox*>(editorWidget)->value());
        break;
    case TypePath:
        static_cast<ParametrPath*>(bound)->setValue(
            static_cast<HPathEdit*>(editorWidget)->lineEdit()->text());
        break;
    case TypeEditableEnum:
        static_cast<ParametrEditableEnum*>(bound)->setValue(
            static_cast<HEditableEnumEdit*>(editorWidget)->currentText());
        break;
    case TypeIP:
        static_cast<ParametrIP*>(bound)->setAddress(
            ParametrIP::addressFromText(static_cast<QLineEdit*>(editorWidget)->text()));
        break;
    default:
        break;
    }
}
