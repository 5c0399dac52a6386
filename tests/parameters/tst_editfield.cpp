// Parameter editors through real widgets: typing, pasting, filling, rows and the small widgets.
#include "appfixture.h"

#include "parameters/enumitem.h"
#include "parameters/parametrdouble.h"
#include "parameters/parametreditableenum.h"
#include "parameters/parametrenum.h"
#include "parameters/parametrint.h"
#include "parameters/parametrip.h"
#include "parameters/parametrmultienum.h"
#include "parameters/parametrpath.h"
#include "parameters/parametrstring.h"
#include "parameters/settings.h"
#include "parameters/widgets/editfield.h"
#include "parameters/widgets/fieldbuilder.h"
#include "parameters/widgets/hdoublespinboxdelegate.h"
#include "parameters/widgets/heditableenumedit.h"
#include "parameters/widgets/hpathedit.h"
#include "parameters/widgets/prfield.h"
#include "shell/hbutton.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QTextEdit>
#include <QVBoxLayout>
#include <QValidator>
#include <QtTest>

namespace {

const QString Caption = QStringLiteral("Подпись");

struct ChooserCall
{
    bool directory = false;
    QString title;
    QString start;
    QString filter;
};

QList<ChooserCall> chooserCalls;
QString chooserAnswer;

QString scriptedChooser(QWidget*, bool directory, const QString& title, const QString& start,
                        const QString& filter)
{
    chooserCalls.append({directory, title, start, filter});
    return chooserAnswer;
}

// QTest::keyClicks knows Latin-1 only; operators type Cyrillic.
void typeText(QWidget* widget, const QString& text)
{
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &release);
    }
}

template <typename T> T* editorOf(PrField& row)
{
    return qobject_cast<T*>(row.editField()->editor());
}

} // namespace

// Stands in for a form that reacts to its rows.
class RowListener : public QObject
{
    Q_OBJECT
public:
    int calls = 0;
    QList<int> ids;
public slots:
    void onRowChanged()
    {
        ++calls;
        if (auto* row = qobject_cast<PrField*>(sender()))
            ids.append(row->id());
    }
};

class TestEditField : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();

    void ipTypingStoresEachKeystroke();
    void ipRefusesImpossibleOctet();
    void ipValidatorStates_data();
    void ipValidatorStates();
    void fillingEmitsNothing();
    void settingsAddressRow();

    void lineStringCutByMaxLength();
    void multiLineStringCutAfterPaste();
    void intOpensUnclamped();
    void doubleRangeAndDecimals();
    void enumWithoutItem();
    void enumRefilledOnRebuild();
    void rebindToAnotherKind();
    void kindWithoutEditor();
    void toolTipAndPalette();

    void unitsReplaced();
    void labelLayouts();
    void multiFieldGrid();
    void editorHeight();
    void fieldBuilder();
    void spacers();

    void pathEditorFollowsChooser();
    void pathFileFilter();
    void pathButtonWidthFollowsFont();
    void editableEnumReturnVersusEnter();
    void doubleSpinBoxDelegate();
    void focusedEditorDestroyedWithItsWindow();
};

void TestEditField::initTestCase()
{
    solmirtest::createSingletons();
    HPathEdit::setChooser(scriptedChooser);
}

void TestEditField::cleanup()
{
    chooserCalls.clear();
    chooserAnswer.clear();
    resetFieldReceiver();
    setFieldContainer(nullptr);
}

void TestEditField::ipTypingStoresEachKeystroke()
{
    ParametrIP ip(&Caption, 0);
    PrField row(&ip, nullptr, PrField::LabelLeft);
    auto* line = editorOf<QLineEdit>(row);
    QVERIFY(line);
    QVERIFY(line->text().isEmpty());
    QStringList seen;
    connect(&row, &PrField::changed, [&] { seen.append(ip.addressText()); });
    QTest::keyClicks(line, QStringLiteral("10.0.0.7"));
    QCOMPARE(seen.size(), 8);
    for (int i = 0; i < 7; ++i)
        QVERIFY2(seen.at(i).isEmpty(), qPrintable(seen.at(i)));
    QCOMPARE(seen.last(), QStringLiteral("10.0.0.7"));

    QTest::keyClick(line, Qt::Key_Backspace);
    QVERIFY(ip.address().isNull());
    QTest::keyClicks(line, QStringLiteral("09"));
    QCOMPARE(line->text(), QStringLiteral("10.0.0.09"));
    QCOMPARE(ip.addressText(), QStringLiteral("10.0.0.9"));
}

void TestEditField::ipRefusesImpossibleOctet()
{
    ParametrIP ip(&Caption, 0);
    EditField field(&ip, nullptr);
    auto* line = qobject_cast<QLineEdit*>(field.editor());
    QVERIFY(line);
    QSignalSpy spy(&field, SIGNAL(changed()));
    QTest::keyClicks(line, QStringLiteral("192.168.0.300"));
    QCOMPARE(line->text(), QStringLiteral("192.168.0.30"));
    QCOMPARE(ip.addressText(), QStringLiteral("192.168.0.30"));
    QCOMPARE(spy.count(), 12);
    QTest::keyClicks(line, QStringLiteral(".1x"));
    QCOMPARE(line->text(), QStringLiteral("192.168.0.30"));
}

void TestEditField::ipValidatorStates_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("state");
    QTest::newRow("empty") << "" << int(QValidator::Intermediate);
    QTest::newRow("two octets and a dot") << "192.168." << int(QValidator::Intermediate);
    QTest::newRow("complete") << "192.168.0.3" << int(QValidator::Acceptable);
    QTest::newRow("leading zeros") << "007.0.0.1" << int(QValidator::Acceptable);
    QTest::newRow("top") << "255.255.255.255" << int(QValidator::Acceptable);
    QTest::newRow("256") << "256.1.1.1" << int(QValidator::Invalid);
    QTest::newRow("300 last") << "192.168.0.300" << int(QValidator::Invalid);
    QTest::newRow("five octets") << "1.2.3.4.5" << int(QValidator::Invalid);
    QTest::newRow("letter") << "1a" << int(QValidator::Invalid);
    QTest::newRow("four digits") << "1000" << int(QValidator::Invalid);
    QTest::newRow("double dot") << "1..2" << int(QValidator::Invalid);
}

void TestEditField::ipValidatorStates()
{
    QFETCH(QString, text);
    QFETCH(int, state);
    QCOMPARE(EditField::ipv4Pattern(),
             QStringLiteral("^(?:[0-1]?[0-9]?[0-9]|2[0-4][0-9]|25[0-5])\\.(?:[0-1]?[0-9]?[0-9]|2["
                            "0-4][0-9]|25[0-5])\\.(?:[0-1]?[0-9]?[0-9]|2[0-4][0-9]|25[0-5])\\.(?:["
                            "0-1]?[0-9]?[0-9]|2[0-4][0-9]|25[0-5])$"));
    ParametrIP ip(&Caption, 0);
    EditField field(&ip, nullptr);
    auto* line = qobject_cast<QLineEdit*>(field.editor());
    QVERIFY(line && line->validator());
    int pos = text.size();
    QCOMPARE(int(line->validator()->validate(text, pos)), state);
}

void TestEditField::fillingEmitsNothing()
{
    ParametrIP ip(&Caption, 0);
    ip.setAddress(QHostAddress(QStringLiteral("192.168.0.3")));
    ParametrString s(&Caption, 20, 0);
    s.setValue(QStringLiteral("текст"));
    ParametrString multi(&Caption, 20, AltEditor);
    multi.setValue(QStringLiteral("много\nстрок"));
    ParametrInt i(&Caption, 0, 10, 0);
    i.setValue(4);
    ParametrPath path(&Caption, 0);
    path.setValue(QStringLiteral("/tmp/файл"));
    const QList<HAbstractParametr*> all = {&ip, &s, &multi, &i, &path};
    for (HAbstractParametr* p : all) {
        EditField field(nullptr);
        QSignalSpy spy(&field, SIGNAL(changed()));
        field.setParametr(p);
        QVERIFY(field.editor());
        field.rebuild();
        field.setParametr(p);
        QCOMPARE(spy.count(), 0);
    }

    EditField field(&ip, nullptr);
    auto* line = qobject_cast<QLineEdit*>(field.editor());
    QCOMPARE(line->text(), QStringLiteral("192.168.0.3"));
    QSignalSpy spy(&field, SIGNAL(changed()));
    ip.setAddress(QHostAddress(QStringLiteral("10.0.0.1")));
    field.rebuild();
    QCOMPARE(line->text(), QStringLiteral("10.0.0.1"));
    QCOMPARE(spy.count(), 0);
    QCOMPARE(field.editor(), line);
    QTest::keyClick(line, Qt::Key_Backspace);
    QCOMPARE(spy.count(), 1);
}

void TestEditField::settingsAddressRow()
{
    ParametrIP* prIP = Settings::instance()->prIP;
    PrField row(prIP, nullptr, PrField::LabelLeft);
    QCOMPARE(row.label()->text(), QStringLiteral("IP адрес"));
    QCOMPARE(editorOf<QLineEdit>(row)->text(), QStringLiteral("192.168.0.3"));
    PrField folder(Settings::instance()->prProtocolsPath, nullptr, PrField::LabelLeft);
    QCOMPARE(folder.label()->text(), QStringLiteral("Путь для сохранения протоколов"));
    QCOMPARE(editorOf<HPathEdit>(folder)->lineEdit()->text(),
             Settings::instance()->prProtocolsPath->value());
}

void TestEditField::lineStringCutByMaxLength()
{
    ParametrString s(&Caption, 5, 0);
    PrField row(&s, nullptr, PrField::LabelLeft);
    auto* line = editorOf<QLineEdit>(row);
    QVERIFY(line);
    QCOMPARE(line->maxLength(), 5);
    QSignalSpy spy(&row, SIGNAL(changed()));
    typeText(line, QStringLiteral("абвгдеж"));
    QCOMPARE(line->text(), QStringLiteral("абвгд"));
    QCOMPARE(s.value(), QStringLiteral("абвгд"));
    QCOMPARE(spy.count(), 5);
}

void TestEditField::multiLineStringCutAfterPaste()
{
    ParametrString s(&Caption, 5, AltEditor);
    PrField row(&s, nullptr, PrField::LabelAbove);
    auto* box = editorOf<QTextEdit>(row);
    QVERIFY(box);
    QCOMPARE(box->wordWrapMode(), QTextOption::WrapAtWordBoundaryOrAnywhere);
    QCOMPARE(box->sizePolicy().horizontalPolicy(), QSizePolicy::Minimum);
    QCOMPARE(box->sizePolicy().verticalPolicy(), QSizePolicy::Maximum);
    QStringList seen;
    connect(&row, &PrField::changed, [&] { seen.append(s.value()); });

    box->insertPlainText(QStringLiteral("12345678"));
    QCOMPARE(box->toPlainText(), QStringLiteral("12345"));
    QCOMPARE(s.value(), QStringLiteral("12345"));
    QVERIFY(!seen.isEmpty());
    for (const QString& value : qAsConst(seen))
        QCOMPARE(value, QStringLiteral("12345"));

    box->clear();
    QCOMPARE(s.value(), QString());
    QApplication::clipboard()->setText(QStringLiteral("абвгдежз"));
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("абвгдежз"));
    box->paste();
    QCOMPARE(box->toPlainText(), QStringLiteral("абвгд"));
    QCOMPARE(s.value(), QStringLiteral("абвгд"));

    box->clear();
    QTest::keyClicks(box, QStringLiteral("abcdefg"));
    QCOMPARE(box->toPlainText(), QStringLiteral("abcde"));
    QCOMPARE(s.value(), QStringLiteral("abcde"));

    // A character outside the basic plane is never split in half.
    box->clear();
    box->insertPlainText(QStringLiteral("abcd") + QString::fromUtf8("\xF0\x9F\x98\x80") +
                         QStringLiteral("z"));
    QCOMPARE(s.value(), QStringLiteral("abcd"));
    QCOMPARE(box->toPlainText(), QStringLiteral("abcd"));
}

void TestEditField::intOpensUnclamped()
{
    ParametrInt i(&Caption, 100, 200, 0);
    i.setValue(150);
    PrField row(&i, nullptr, PrField::LabelLeft);
    auto* spin = editorOf<QSpinBox>(row);
    QVERIFY(spin);
    QCOMPARE(spin->value(), 150);
    QCOMPARE(spin->minimum(), 100);
    QCOMPARE(spin->maximum(), 200);
    QSignalSpy spy(&row, SIGNAL(changed()));
    QTest::keyClick(spin, Qt::Key_Up);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(i.value(), 151);
    QCOMPARE(i.editValue(), 151);
    spin->setValue(1000);
    QCOMPARE(i.value(), 200);
}

void TestEditField::doubleRangeAndDecimals()
{
    ParametrDouble d(&Caption, -99, 50, 0);
    d.setValue(2.5);
    PrField row(&d, nullptr, PrField::LabelLeft);
    auto* spin = editorOf<QDoubleSpinBox>(row);
    QVERIFY(spin);
    QCOMPARE(spin->decimals(), 3);
    QCOMPARE(spin->value(), 2.5);
    QCOMPARE(spin->maximum(), 50.0);
    QVERIFY(spin->minimum() < -1e300);
    spin->setValue(-7.125);
    QCOMPARE(d.value(), -7.125);
    QCOMPARE(d.editValue(), -7.125);
    QCOMPARE(d.valueText(), QStringLiteral("-7,125"));
}

void TestEditField::enumWithoutItem()
{
    EnumItem a{1, QStringLiteral("один")};
    EnumItem b{2, QStringLiteral("два")};
    EnumItemList items{&a, &b};
    ParametrEnum e(&Caption, &items, 0);
    e.setValue(7);
    PrField row(&e, nullptr, PrField::LabelLeft);
    auto* combo = editorOf<QComboBox>(row);
    QVERIFY(combo);
    QCOMPARE(combo->count(), 2);
    QCOMPARE(combo->itemData(1).toInt(), 2);
    QCOMPARE(combo->currentIndex(), -1);
    QCOMPARE(e.value(), 7);

    QSignalSpy spy(&row, SIGNAL(changed()));
    combo->setCurrentIndex(1);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(e.value(), 2);
    QCOMPARE(e.editValue(), 2);
    combo->setCurrentIndex(-1);
    QCOMPARE(e.value(), 2);
}

void TestEditField::enumRefilledOnRebuild()
{
    EnumItem a{1, QStringLiteral("один")};
    EnumItem b{2, QStringLiteral("два")};
    EnumItemList items{&a, &b};
    ParametrEnum e(&Caption, &items, 0);
    e.setValue(2);
    EditField field(&e, nullptr);
    auto* combo = qobject_cast<QComboBox*>(field.editor());
    QCOMPARE(combo->currentIndex(), 1);
    EnumItem c{3, QStringLiteral("три")};
    items.append(&c);
    e.setValue(3);
    QSignalSpy spy(&field, SIGNAL(changed()));
    field.rebuild();
    QCOMPARE(field.editor(), combo);
    QCOMPARE(combo->count(), 3);
    QCOMPARE(combo->currentIndex(), 2);
    QCOMPARE(combo->currentText(), QStringLiteral("три"));
    QCOMPARE(spy.count(), 0);
}

void TestEditField::rebindToAnotherKind()
{
    ParametrString s(&Caption, 10, 0);
    ParametrString multi(&Caption, 10, AltEditor);
    ParametrInt i(&Caption, 0, 9, 0);
    i.setValue(3);
    EditField field(&s, nullptr);
    QPointer<QWidget> first = field.editor();
    QVERIFY(qobject_cast<QLineEdit*>(first));
    QVERIFY(!field.needsRebuild());

    field.setParametr(&i);
    QCOMPARE(field.parametr(), &i);
    auto* spin = qobject_cast<QSpinBox*>(field.editor());
    QVERIFY(spin);
    QCOMPARE(spin->value(), 3);
    QTRY_VERIFY(first.isNull());

    QSignalSpy spy(&field, SIGNAL(changed()));
    field.setParametr(&multi);
    QVERIFY(qobject_cast<QTextEdit*>(field.editor()));
    field.setParametr(&s);
    auto* line = qobject_cast<QLineEdit*>(field.editor());
    QVERIFY(line);
    QCOMPARE(spy.count(), 0);
    QTest::keyClicks(line, QStringLiteral("ab"));
    QCOMPARE(s.value(), QStringLiteral("ab"));
    QCOMPARE(multi.value(), QString());
    QCOMPARE(i.value(), 3);
    QCOMPARE(spy.count(), 2);
}

void TestEditField::kindWithoutEditor()
{
    ParametrMultiEnum m(&Caption, nullptr, 0);
    ParametrString s(&Caption, 10, 0);
    EditField field(&s, nullptr);
    QVERIFY(field.editor());
    field.setParametr(&m);
    QVERIFY(!field.editor());
    QVERIFY(!field.needsRebuild());
    field.onEdit();
    field.setParametr(nullptr);
    QCOMPARE(field.parametr(), &m);
    PrField row(&m, nullptr, PrField::LabelLeft);
    QVERIFY(row.editField());
    QVERIFY(!row.editField()->editor());
    QCOMPARE(row.label()->text(), Caption);
}

void TestEditField::toolTipAndPalette()
{
    ParametrString s(&Caption, 10, 0);
    s.setToolTip(QStringLiteral("подсказка"));
    EditField field(&s, nullptr);
    QCOMPARE(field.toolTip(), QStringLiteral("подсказка"));
    QPalette red;
    red.setColor(QPalette::Base, Qt::red);
    field.setEditorPalette(red);
    QCOMPARE(field.editor()->palette().color(QPalette::Base), QColor(Qt::red));
    EditField empty(nullptr);
    empty.setEditorPalette(red);
    QVERIFY(!empty.editor());
}

void TestEditField::unitsReplaced()
{
    const QString x = QStringLiteral("Длина, общая");
    ParametrInt i(&x, 0, 10, 0);
    PrField row(&i, nullptr, PrField::LabelLeft);
    QVERIFY(!row.testFlag(PrField::UnitsShown));
    row.setUnits(QStringLiteral("мм"));
    QCOMPARE(row.label()->text(), QStringLiteral("Длина, общая, мм"));
    QVERIFY(row.testFlag(PrField::UnitsShown));
    row.setUnits(QStringLiteral("см"));
    QCOMPARE(row.label()->text(), QStringLiteral("Длина, общая, см"));
    ParametrString units(&Caption, 5, 0);
    units.setValue(QStringLiteral("м"));
    row.setUnitsFrom(&units);
    QCOMPARE(row.label()->text(), QStringLiteral("Длина, общая, м"));

    PrField bare(&i, nullptr, PrField::NoLabel);
    bare.setUnits(QStringLiteral("мм"));
    QVERIFY(!bare.label());
    QVERIFY(!bare.testFlag(PrField::UnitsShown));
}

void TestEditField::labelLayouts()
{
    ParametrString s(&Caption, 10, 0);
    PrField above(&s, 7, nullptr, PrField::LabelAbove);
    QCOMPARE(above.id(), 7);
    auto* vbox = qobject_cast<QVBoxLayout*>(above.layout());
    QVERIFY(vbox);
    QCOMPARE(vbox->spacing(), 2);
    QCOMPARE(vbox->contentsMargins(), QMargins(2, 2, 2, 2));
    QCOMPARE(vbox->indexOf(above.label()), 0);
    QCOMPARE(vbox->indexOf(above.editField()), 1);

    PrField left(&s, nullptr, PrField::LabelLeft);
    QCOMPARE(left.id(), -1);
    auto* hbox = qobject_cast<QHBoxLayout*>(left.layout());
    QVERIFY(hbox);
    QCOMPARE(hbox->indexOf(left.label()), 0);
    QCOMPARE(hbox->indexOf(left.editField()), 1);

    PrField none(&s, nullptr, PrField::NoLabel);
    QVERIFY(qobject_cast<QHBoxLayout*>(none.layout()));
    QVERIFY(!none.label());
    QCOMPARE(none.layout()->count(), 1);

    PrField other(&s, nullptr, 9);
    QVERIFY(!other.layout());
    QVERIFY(other.editField());
    other.setId(3);
    QCOMPARE(other.id(), 3);
    other.setFlag(0x80, true);
    QVERIFY(other.testFlag(0x81));
    other.setFlag(0x80, false);
    QVERIFY(!other.testFlag(0xFF));
}

void TestEditField::multiFieldGrid()
{
    ParametrInt first(&Caption, 0, 100, 0);
    ParametrInt second(&Caption, 0, 100, 0);
    PrField row(QStringLiteral("Диапазон"), nullptr);
    QVERIFY(row.testFlag(PrField::MultiField));
    QCOMPARE(row.id(), -1);
    QVERIFY(!row.editField());
    QSignalSpy spy(&row, SIGNAL(changed()));
    row.addParametr(&first);
    row.addParametr(&second);
    auto* grid = qobject_cast<QGridLayout*>(row.layout());
    QVERIFY(grid);
    QCOMPARE(row.editFields().size(), 2);
    int r, c, rs, cs;
    grid->getItemPosition(grid->indexOf(row.label()), &r, &c, &rs, &cs);
    QCOMPARE(QList<int>({r, c, rs, cs}), QList<int>({0, 0, 1, 3}));
    grid->getItemPosition(grid->indexOf(row.editFields().at(0)), &r, &c, &rs, &cs);
    QCOMPARE(QList<int>({r, c}), QList<int>({1, 1}));
    grid->getItemPosition(grid->indexOf(row.editFields().at(1)), &r, &c, &rs, &cs);
    QCOMPARE(QList<int>({r, c}), QList<int>({1, 2}));
    QCOMPARE(row.label()->text(), QStringLiteral("Диапазон"));

    auto* spin = qobject_cast<QSpinBox*>(row.editFields().at(1)->editor());
    spin->setValue(42);
    QCOMPARE(second.value(), 42);
    QCOMPARE(spy.count(), 1);

    first.setValue(11);
    second.setValue(12);
    row.updateEditors();
    QCOMPARE(qobject_cast<QSpinBox*>(row.editFields().at(0)->editor())->value(), 11);
    QCOMPARE(spin->value(), 12);
    QCOMPARE(spy.count(), 1);

    ParametrString s(&Caption, 10, 0);
    PrField single(&s, nullptr, PrField::LabelLeft);
    single.addParametr(&first);
    QVERIFY(single.editFields().isEmpty());
}

void TestEditField::editorHeight()
{
    ParametrString s(&Caption, 10, 0);
    PrField row(&s, nullptr, PrField::LabelLeft);
    row.setEditorHeight(33);
    QCOMPARE(row.editField()->minimumHeight(), 33);
    QCOMPARE(row.editField()->maximumHeight(), 33);
    QCOMPARE(row.sizePolicy().horizontalPolicy(), QSizePolicy::Maximum);
    QCOMPARE(row.sizePolicy().verticalPolicy(), QSizePolicy::Maximum);
    PrField multi(QStringLiteral("x"), nullptr);
    multi.setEditorHeight(33);
    QCOMPARE(multi.sizePolicy().horizontalPolicy(), QSizePolicy::Preferred);
}

void TestEditField::fieldBuilder()
{
    QWidget form;
    auto* box = new QVBoxLayout(&form);
    auto* nested = new QWidget(&form);
    box->addWidget(nested);
    RowListener listener;
    ParametrInt a(&Caption, 0, 100, 0);
    ParametrInt b(&Caption, 0, 100, 0);
    ParametrString s(&Caption, 10, 0);

    setFieldContainer(&form);
    setFieldReceiver(&listener, SLOT(onRowChanged()));
    PrField* plain = addField(&a);
    PrField* withId = addField(&s, 5);
    PrField* pair = addPairField(QStringLiteral("Пара"), &a, &b, 6);
    resetFieldReceiver();
    PrField* unwired = addField(&b, 8);
    setFieldContainer(nested);
    PrField* deep = addField(&s);

    QCOMPARE(plain->parentWidget(), &form);
    QCOMPARE(box->indexOf(plain), 1);
    QCOMPARE(box->indexOf(withId), 2);
    QCOMPARE(box->indexOf(pair), 3);
    QCOMPARE(box->indexOf(unwired), 4);
    QCOMPARE(deep->parentWidget(), nested);
    QVERIFY(qobject_cast<QVBoxLayout*>(plain->layout()));
    QCOMPARE(plain->id(), -1);
    QCOMPARE(withId->id(), 5);
    QCOMPARE(pair->id(), 6);
    QCOMPARE(pair->editFields().size(), 2);

    typeText(editorOf<QLineEdit>(*withId), QStringLiteral("я"));
    qobject_cast<QSpinBox*>(pair->editFields().at(1)->editor())->setValue(9);
    editorOf<QSpinBox>(*unwired)->setValue(10);
    editorOf<QSpinBox>(*plain)->setValue(1);
    QCOMPARE(listener.calls, 2);
    QCOMPARE(listener.ids, QList<int>({5, 6}));

    a.setValue(77);
    s.setValue(QStringLiteral("новое"));
    updateParametrFields(&form);
    QCOMPARE(editorOf<QSpinBox>(*plain)->value(), 77);
    QCOMPARE(qobject_cast<QSpinBox*>(pair->editFields().at(0)->editor())->value(), 77);
    QCOMPARE(editorOf<QLineEdit>(*deep)->text(), QStringLiteral("новое"));
    QCOMPARE(editorOf<QLineEdit>(*withId)->text(), QStringLiteral("новое"));
    updateParametrFields(nullptr);

    setFieldContainer(nullptr);
    PrField* orphan = addField(&a);
    QVERIFY(!orphan->parentWidget());
    delete orphan;
}

void TestEditField::spacers()
{
    QWidget parent;
    QWidget* v = newVSpacer(&parent);
    QWidget* h = newHSpacer(&parent);
    QWidget* both = newSpacer(&parent);
    QCOMPARE(v->parentWidget(), &parent);
    QCOMPARE(v->minimumSize(), QSize(0, 0));
    QCOMPARE(v->sizePolicy().horizontalPolicy(), QSizePolicy::Maximum);
    QCOMPARE(v->sizePolicy().verticalPolicy(), QSizePolicy::Expanding);
    QCOMPARE(h->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
    QCOMPARE(h->sizePolicy().verticalPolicy(), QSizePolicy::Maximum);
    QCOMPARE(both->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
    QCOMPARE(both->sizePolicy().verticalPolicy(), QSizePolicy::Expanding);
}

void TestEditField::pathEditorFollowsChooser()
{
    ParametrPath* folder = Settings::instance()->prProtocolsPath;
    const QString before = folder->value();
    PrField row(folder, nullptr, PrField::LabelLeft);
    auto* edit = editorOf<HPathEdit>(row);
    QVERIFY(edit);
    QCOMPARE(edit->selectButton()->text(), QStringLiteral("Выбрать..."));
    QSignalSpy spy(&row, SIGNAL(changed()));

    QTest::mouseClick(edit->selectButton(), Qt::LeftButton);
    QCOMPARE(chooserCalls.size(), 1);
    QVERIFY(chooserCalls.at(0).directory);
    QCOMPARE(chooserCalls.at(0).title, QStringLiteral("Выбор дериктории"));
    QCOMPARE(chooserCalls.at(0).start, before);
    QCOMPARE(folder->value(), before);
    QCOMPARE(spy.count(), 0);

    chooserAnswer = QStringLiteral("/srv/Протоколы цеха");
    QTest::mouseClick(edit->selectButton(), Qt::LeftButton);
    QCOMPARE(edit->lineEdit()->text(), chooserAnswer);
    QCOMPARE(folder->value(), chooserAnswer);
    QCOMPARE(spy.count(), 1);
    folder->setValue(before);

    QTest::keyClicks(edit->lineEdit(), QStringLiteral("/x"));
    QCOMPARE(folder->value(), chooserAnswer + QStringLiteral("/x"));
    folder->setValue(before);
}

void TestEditField::pathFileFilter()
{
    ParametrPath file(&Caption, 0);
    file.setValue(QStringLiteral("/tmp/старый.xlsx"));
    EditField field(&file, nullptr);
    auto* edit = qobject_cast<HPathEdit*>(field.editor());
    QVERIFY(edit);
    chooserAnswer = QStringLiteral("/tmp/новый.xlsx");
    edit->onSelectButtonPressed();
    QCOMPARE(chooserCalls.size(), 1);
    QVERIFY(!chooserCalls.at(0).directory);
    QCOMPARE(chooserCalls.at(0).title, QStringLiteral("Выбор файла"));
    QCOMPARE(chooserCalls.at(0).filter, QStringLiteral("(*)"));
    QCOMPARE(chooserCalls.at(0).start, QStringLiteral("/tmp/старый.xlsx"));
    QCOMPARE(file.value(), QStringLiteral("/tmp/новый.xlsx"));

    file.setFilters(QStringList{QStringLiteral("*.xlsx"), QStringLiteral("*.csv")});
    edit->onSelectButtonPressed();
    QCOMPARE(chooserCalls.last().filter, QStringLiteral("(*.xlsx)"));
    file.setFilters(QStringList());
    edit->onSelectButtonPressed();
    QCOMPARE(chooserCalls.last().filter, QStringLiteral("(*)"));

    HPathEdit unbound(nullptr);
    unbound.onSelectButtonPressed();
    QCOMPARE(chooserCalls.size(), 3);
}

void TestEditField::pathButtonWidthFollowsFont()
{
    HPathEdit edit(nullptr);
    const int before = edit.selectButton()->width();
    QCOMPARE(before,
             QFontMetrics(edit.font()).horizontalAdvance(QStringLiteral("Выбрать...")) + 20);
    QFont big = edit.font();
    big.setPointSize(big.pointSize() * 3);
    edit.setFont(big);
    QCOMPARE(edit.selectButton()->width(),
             QFontMetrics(big).horizontalAdvance(QStringLiteral("Выбрать...")) + 20);
    QVERIFY(edit.selectButton()->width() > before);
    QCOMPARE(edit.lineEdit()->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
    QCOMPARE(edit.layout()->spacing(), 0);
}

void TestEditField::editableEnumReturnVersusEnter()
{
    EnumItem a{1, QStringLiteral("первый")};
    EnumItem b{2, QStringLiteral("второй")};
    EnumItemList items{&a, &b};
    ParametrEditableEnum ee(&Caption, &items, 0);
    ee.setValue(QStringLiteral("второй"));
    PrField row(&ee, nullptr, PrField::LabelLeft);
    auto* combo = editorOf<HEditableEnumEdit>(row);
    QVERIFY(combo);
    QVERIFY(combo->isEditable());
    QCOMPARE(combo->count(), 2);
    QCOMPARE(combo->currentText(), QStringLiteral("второй"));
    QSignalSpy spy(&row, SIGNAL(changed()));

    combo->lineEdit()->selectAll();
    typeText(combo, QStringLiteral("свой"));
    QCOMPARE(combo->currentText(), QStringLiteral("свой"));
    QCOMPARE(spy.count(), 0);
    QTest::keyClick(combo, Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(ee.value(), QStringLiteral("второй"));
    QCOMPARE(spy.count(), 0);
    QTest::keyClick(combo, Qt::Key_Return);
    QCOMPARE(ee.value(), QStringLiteral("свой"));
    QCOMPARE(spy.count(), 1);

    combo->lineEdit()->selectAll();
    typeText(combo, QStringLiteral("ещё"));
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(combo, &out);
    QCOMPARE(ee.value(), QStringLiteral("ещё"));
    QCOMPARE(spy.count(), 2);

    ee.setValue(QStringLiteral("первый"));
    row.updateEditors();
    QCOMPARE(combo->currentText(), QStringLiteral("первый"));
    QCOMPARE(spy.count(), 2);
}

void TestEditField::doubleSpinBoxDelegate()
{
    HDoubleSpinBoxDelegate delegate(nullptr);
    QCOMPARE(delegate.decimals(), 4);
    QStandardItemModel model(1, 1);
    model.setData(model.index(0, 0), 0.1234, Qt::EditRole);
    QWidget view;
    QStyleOptionViewItem option;
    option.rect = QRect(3, 4, 120, 22);
    QSignalSpy steps(&delegate, SIGNAL(valueChanged(double)));

    QWidget* editor = delegate.createEditor(&view, option, model.index(0, 0));
    auto* spin = qobject_cast<QDoubleSpinBox*>(editor);
    QVERIFY(spin);
    QCOMPARE(spin->parentWidget(), &view);
    QVERIFY(spin->testAttribute(Qt::WA_DeleteOnClose));
    QCOMPARE(spin->decimals(), 4);
    QCOMPARE(spin->minimum(), -1e16);
    QCOMPARE(spin->maximum(), 1e16);
    delegate.setEditorData(spin, model.index(0, 0));
    QCOMPARE(spin->value(), 0.1234);
    QCOMPARE(spin->text(), QLocale().toString(0.1234, 'f', 4));
    delegate.updateEditorGeometry(spin, option, model.index(0, 0));
    QCOMPARE(spin->geometry(), option.rect);

    spin->setValue(1e20);
    QCOMPARE(spin->value(), 1e16);
    spin->setValue(-1e20);
    QCOMPARE(spin->value(), -1e16);
    spin->setValue(2.5);
    QCOMPARE(steps.count(), 4);
    QCOMPARE(steps.last().at(0).toDouble(), 2.5);
    delegate.setModelData(spin, &model, model.index(0, 0));
    QCOMPARE(model.data(model.index(0, 0), Qt::EditRole).toDouble(), 2.5);
    QCOMPARE(int(model.data(model.index(0, 0), Qt::EditRole).type()), int(QVariant::Double));

    QPointer<QWidget> guard(spin);
    spin->close();
    QTRY_VERIFY(guard.isNull());

    delegate.setDecimals(2);
    auto* second =
        qobject_cast<QDoubleSpinBox*>(delegate.createEditor(&view, option, model.index(0, 0)));
    QCOMPARE(second->decimals(), 2);
}

void TestEditField::focusedEditorDestroyedWithItsWindow()
{
    EnumItemList items;
    ParametrEditableEnum ee(&Caption, &items, 0);
    ParametrInt other(&Caption, 0, 9, 0);
    ee.setValue(QStringLiteral("было"));
    auto* window = new QWidget;
    auto* box = new QVBoxLayout(window);
    auto* row = new PrField(&ee, window, PrField::LabelLeft);
    auto* second = new PrField(&ee, window, PrField::LabelLeft);
    box->addWidget(row);
    box->addWidget(second);
    window->show();
    QApplication::setActiveWindow(window);
    QVERIFY(QTest::qWaitForWindowActive(window));
    auto* combo = editorOf<HEditableEnumEdit>(*second);
    combo->setFocus();
    QTRY_VERIFY(combo->hasFocus());
    combo->lineEdit()->selectAll();
    QTest::keyClicks(combo, QStringLiteral("draft"));

    // Swapping the editor away takes the focus from it, which is not the user leaving it.
    QSignalSpy secondSpy(second, SIGNAL(changed()));
    second->editField()->setParametr(&other);
    QCOMPARE(secondSpy.count(), 0);
    QCOMPARE(ee.value(), QStringLiteral("было"));

    combo = editorOf<HEditableEnumEdit>(*row);
    combo->setFocus();
    QTRY_VERIFY(combo->hasFocus());
    combo->lineEdit()->selectAll();
    QTest::keyClicks(combo, QStringLiteral("typed"));
    QSignalSpy spy(row, SIGNAL(changed()));
    // Closing the window takes the focus away first: the typed text is kept, like any leave.
    delete window;
    QCOMPARE(spy.count(), 1);
    QCOMPARE(ee.value(), QStringLiteral("typed"));
}

QTEST_MAIN(TestEditField)
#include "tst_editfield.moc"
