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

#include <QStandardItemModel>
#include <QtTest>
#include <QtWidgets>

namespace {

const QString Caption = QStringLiteral("Подпись");

// Each call to the chooser as "dir|title|start|filter"; answers with chooserAnswer.
QStringList chooserCalls;
QString chooserAnswer;

QString scriptedChooser(QWidget*, bool directory, const QString& title, const QString& start,
                        const QString& filter)
{
    chooserCalls.append(QStringList{directory ? "dir" : "file", title, start, filter}.join('|'));
    return chooserAnswer;
}

// QTest::keyClicks knows Latin-1 only; operators type Cyrillic.
void typeText(QWidget* widget, const QString& text)
{
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
    }
}

template <typename T> T* editorOf(const EditField* field)
{
    return qobject_cast<T*>(field->editor());
}

} // namespace

// Stands in for a form that reacts to its rows.
class RowListener : public QObject
{
    Q_OBJECT
public:
    QList<int> ids;
public slots:
    void onRowChanged() { ids.append(qobject_cast<PrField*>(sender())->id()); }
};

class TestEditField : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        solmirtest::createSingletons();
        HPathEdit::setChooser(scriptedChooser);
    }

    void cleanup()
    {
        chooserCalls.clear();
        chooserAnswer.clear();
        resetFieldReceiver();
        setFieldContainer(nullptr);
    }

    // Every keystroke the validator lets through is stored at once, null until complete.
    void ipTyping_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("nulls");
        const auto row = [](const char* typed, const char* shown, const char* address, int nulls) {
            QTest::newRow(typed) << QString(typed) << QString(shown) << QString(address) << nulls;
        };
        row("192.168.0.300", "192.168.0.30", "192.168.0.30", 10);
        row("10.0.0.7", "10.0.0.7", "10.0.0.7", 7);
        row("007.0.0.1", "007.0.0.1", "7.0.0.1", 8);
        row("255.255.255.255", "255.255.255.255", "255.255.255.255", 12);
        row("256.1", "25.1", "", 4);
        row("1..2.3.4", "1.2.3.4", "1.2.3.4", 6);
        row("1.2.3.4.5", "1.2.3.45", "1.2.3.45", 6);
        row("a1b000", "100", "", 3);
    }

    void ipTyping()
    {
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        QFETCH(QString, address);
        QFETCH(int, nulls);
        ParametrIP ip(&Caption, 0);
        PrField row(&ip, nullptr, PrField::LabelLeft);
        auto* line = editorOf<QLineEdit>(row.editField());
        QVERIFY(line);
        QStringList seen;
        connect(&row, &PrField::changed, [&] { seen.append(ip.addressText()); });
        QTest::keyClicks(line, typed);
        QCOMPARE(line->text(), shown);
        QCOMPARE(seen.size(), shown.size());
        QCOMPARE(seen.count(QString()), nulls);
        QCOMPARE(seen.last(), address);

        // Filling the field from the parameter is not an edit.
        ip.setAddress(QHostAddress(QStringLiteral("10.0.0.1")));
        row.updateEditors();
        QCOMPARE(line->text(), QStringLiteral("10.0.0.1"));
        QCOMPARE(seen.size(), shown.size());
    }

    void stringCutAtMaxLength()
    {
        ParametrString single(&Caption, 5, 0);
        PrField lineRow(&single, nullptr, PrField::LabelLeft);
        typeText(editorOf<QLineEdit>(lineRow.editField()), QStringLiteral("абвгдеж"));
        QCOMPARE(single.value(), QStringLiteral("абвгд"));

        ParametrString s(&Caption, 5, AltEditor);
        PrField row(&s, nullptr, PrField::LabelAbove);
        auto* box = editorOf<QTextEdit>(row.editField());
        QVERIFY(box);
        QStringList seen;
        connect(&row, &PrField::changed, [&] { seen.append(s.value()); });
        row.updateEditors();
        QApplication::clipboard()->setText(QStringLiteral("абвгдежз"));
        box->paste();
        QCOMPARE(box->toPlainText(), QStringLiteral("абвгд"));
        QCOMPARE(s.value(), QStringLiteral("абвгд"));
        QVERIFY(!seen.isEmpty());
        QCOMPARE(seen.count(QStringLiteral("абвгд")), seen.size());

        // A character outside the basic plane is never split in half.
        box->clear();
        box->insertPlainText(QStringLiteral("abcd") + QString::fromUtf8("\xF0\x9F\x98\x80z"));
        QCOMPARE(s.value(), QStringLiteral("abcd"));
        QCOMPARE(box->toPlainText(), QStringLiteral("abcd"));
    }

    void numberEditorsOpenUnclamped()
    {
        ParametrInt i(&Caption, 100, 200, 0);
        i.setValue(150);
        PrField row(&i, nullptr, PrField::LabelLeft);
        auto* spin = editorOf<QSpinBox>(row.editField());
        QCOMPARE(spin->value(), 150);
        QList<int> seen;
        connect(&row, &PrField::changed, [&] { seen.append(i.value()); });
        row.updateEditors();
        QTest::keyClick(spin, Qt::Key_Up);
        QCOMPARE(seen, QList<int>{151});
        QCOMPARE(i.editValue(), 151);

        ParametrDouble d(&Caption, -99, 50, 0);
        d.setValue(2.5);
        EditField field(&d, nullptr);
        auto* box = editorOf<QDoubleSpinBox>(&field);
        QCOMPARE(box->decimals(), 3);
        QVERIFY(box->minimum() < -1e300);
        box->setValue(-7.125);
        QCOMPARE(d.editValue(), -7.125);
    }

    void enumEditor()
    {
        EnumItem a{1, QStringLiteral("один")};
        EnumItem b{2, QStringLiteral("два")};
        EnumItemList items{&a, &b};
        ParametrEnum e(&Caption, &items, 0);
        e.setValue(7);
        PrField row(&e, nullptr, PrField::LabelLeft);
        auto* combo = editorOf<QComboBox>(row.editField());
        QCOMPARE(combo->currentIndex(), -1);
        QSignalSpy spy(&row, SIGNAL(changed()));
        combo->setCurrentIndex(1);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(e.editValue(), 2);
        // Nothing chosen is not a choice: the value stays instead of becoming 0.
        combo->setCurrentIndex(-1);
        QCOMPARE(e.value(), 2);
        QCOMPARE(spy.count(), 2);

        EnumItem c{3, QStringLiteral("три")};
        items.append(&c);
        e.setValue(3);
        row.updateEditors();
        QCOMPARE(combo->count(), 3);
        QCOMPARE(combo->currentText(), QStringLiteral("три"));
        QCOMPARE(spy.count(), 2);
    }

    void rebindToAnotherKind()
    {
        ParametrString s(&Caption, 10, 0);
        ParametrString multi(&Caption, 10, AltEditor);
        ParametrInt i(&Caption, 0, 9, 0);
        ParametrMultiEnum none(&Caption, nullptr, 0);
        i.setValue(3);
        i.setToolTip(QStringLiteral("подсказка"));
        EditField field(&s, nullptr);
        QPointer<QWidget> first = field.editor();
        field.setParametr(&i);
        QCOMPARE(editorOf<QSpinBox>(&field)->value(), 3);
        QCOMPARE(field.toolTip(), QStringLiteral("подсказка"));
        QTRY_VERIFY(first.isNull());

        QSignalSpy spy(&field, SIGNAL(changed()));
        field.setParametr(&multi);
        QVERIFY(editorOf<QTextEdit>(&field));
        field.setParametr(&s);
        QTest::keyClicks(editorOf<QLineEdit>(&field), QStringLiteral("ab"));
        QCOMPARE(s.value(), QStringLiteral("ab"));
        QCOMPARE(multi.value(), QString());
        QCOMPARE(spy.count(), 2);

        field.setParametr(&none);
        QVERIFY(!field.editor());
        field.onEdit();
        field.setParametr(nullptr);
        QCOMPARE(field.parametr(), &none);
    }

    void rowUnitsAndGrid()
    {
        const QString length = QStringLiteral("Длина, общая");
        ParametrInt first(&length, 0, 100, 0);
        ParametrInt second(&Caption, 0, 100, 0);
        PrField row(&first, nullptr, PrField::LabelAbove);
        row.setUnits(QStringLiteral("мм"));
        row.setUnits(QStringLiteral("см"));
        QCOMPARE(row.label()->text(), QStringLiteral("Длина, общая, см"));

        PrField pair(QStringLiteral("Диапазон"), nullptr);
        QSignalSpy spy(&pair, SIGNAL(changed()));
        pair.addParametr(&first);
        pair.addParametr(&second);
        auto* grid = qobject_cast<QGridLayout*>(pair.layout());
        QList<int> cells;
        for (QWidget* w :
             QList<QWidget*>{pair.label(), pair.editFields()[0], pair.editFields()[1]}) {
            int r, c, rs, cs;
            grid->getItemPosition(grid->indexOf(w), &r, &c, &rs, &cs);
            cells << r << c << rs << cs;
        }
        QCOMPARE(cells, (QList<int>{0, 0, 1, 3, 1, 1, 1, 1, 1, 2, 1, 1}));
        editorOf<QSpinBox>(pair.editFields().at(1))->setValue(42);
        QCOMPARE(second.value(), 42);
        first.setValue(11);
        pair.updateEditors();
        QCOMPARE(editorOf<QSpinBox>(pair.editFields().at(0))->value(), 11);
        QCOMPARE(spy.count(), 1);
    }

    // Only rows with an id reach the receiver; a refresh reaches rows in nested widgets.
    void fieldBuilder()
    {
        QWidget form;
        auto* nested = new QWidget(&form);
        new QVBoxLayout(nested);
        RowListener listener;
        ParametrInt a(&Caption, 0, 100, 0);
        ParametrString s(&Caption, 10, 0);
        setFieldContainer(nested);
        setFieldReceiver(&listener, SLOT(onRowChanged()));
        PrField* plain = addField(&a);
        PrField* pair = addPairField(QStringLiteral("Пара"), &s, &a, 6);
        QCOMPARE(nested->layout()->indexOf(pair), 1);

        editorOf<QSpinBox>(plain->editField())->setValue(1);
        editorOf<QSpinBox>(pair->editFields().at(1))->setValue(9);
        QCOMPARE(listener.ids, QList<int>{6});
        s.setValue(QStringLiteral("новое"));
        updateParametrFields(&form);
        QCOMPARE(editorOf<QLineEdit>(pair->editFields().at(0))->text(), QStringLiteral("новое"));
    }

    void pathEditors()
    {
        ParametrPath* folder = Settings::instance()->prProtocolsPath;
        const QString before = folder->value();
        PrField row(folder, nullptr, PrField::LabelLeft);
        QCOMPARE(row.label()->text(), QStringLiteral("Путь для сохранения протоколов"));
        PrField ipRow(Settings::instance()->prIP, nullptr, PrField::LabelLeft);
        QCOMPARE(ipRow.label()->text(), QStringLiteral("IP адрес"));
        auto* edit = editorOf<HPathEdit>(row.editField());
        QCOMPARE(edit->lineEdit()->text(), before);
        QCOMPARE(edit->selectButton()->text(), QStringLiteral("Выбрать..."));
        QSignalSpy spy(&row, SIGNAL(changed()));

        QTest::mouseClick(edit->selectButton(), Qt::LeftButton);
        QCOMPARE(chooserCalls, QStringList{"dir|Выбор дериктории|" + before + "|"});
        QCOMPARE(folder->value(), before);
        QCOMPARE(spy.count(), 0);
        chooserAnswer = QStringLiteral("/srv/Протоколы цеха");
        QTest::mouseClick(edit->selectButton(), Qt::LeftButton);
        QCOMPARE(edit->lineEdit()->text(), chooserAnswer);
        QCOMPARE(folder->value(), chooserAnswer);
        folder->setValue(before);
        row.updateEditors();
        QCOMPARE(edit->lineEdit()->text(), before);
        QCOMPARE(spy.count(), 1);

        ParametrPath file(&Caption, 0);
        file.setValue(QStringLiteral("/tmp/старый.xlsx"));
        EditField field(&file, nullptr);
        edit = editorOf<HPathEdit>(&field);
        chooserAnswer = QStringLiteral("/tmp/новый.xlsx");
        chooserCalls.clear();
        edit->onSelectButtonPressed();
        file.setFilters(QStringList{QStringLiteral("*.xlsx"), QStringLiteral("*.csv")});
        edit->onSelectButtonPressed();
        file.setFilters(QStringList());
        edit->onSelectButtonPressed();
        QCOMPARE(chooserCalls, (QStringList{"file|Выбор файла|/tmp/старый.xlsx|(*)",
                                            "file|Выбор файла|/tmp/новый.xlsx|(*.xlsx)",
                                            "file|Выбор файла|/tmp/новый.xlsx|(*)"}));
        QCOMPARE(file.value(), QStringLiteral("/tmp/новый.xlsx"));
        HPathEdit unbound(nullptr);
        unbound.onSelectButtonPressed();
        QCOMPARE(chooserCalls.size(), 3);

        const int narrow = edit->selectButton()->width();
        QFont big = edit->font();
        big.setPointSize(big.pointSize() * 3);
        edit->setFont(big);
        QVERIFY(edit->selectButton()->width() > narrow);
    }

    void editableEnumReturnVersusEnter()
    {
        EnumItem a{1, QStringLiteral("первый")};
        EnumItem b{2, QStringLiteral("второй")};
        EnumItemList items{&a, &b};
        ParametrEditableEnum ee(&Caption, &items, 0);
        ee.setValue(QStringLiteral("второй"));
        PrField row(&ee, nullptr, PrField::LabelLeft);
        auto* combo = editorOf<HEditableEnumEdit>(row.editField());
        QSignalSpy spy(&row, SIGNAL(changed()));
        row.updateEditors();
        QCOMPARE(combo->currentText(), QStringLiteral("второй"));

        combo->lineEdit()->selectAll();
        typeText(combo, QStringLiteral("свой"));
        QTest::keyClick(combo, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(ee.value(), QStringLiteral("второй"));
        QCOMPARE(spy.count(), 0);
        QTest::keyClick(combo, Qt::Key_Return);
        QCOMPARE(ee.value(), QStringLiteral("свой"));
        QCOMPARE(spy.count(), 1);
    }

    void doubleSpinBoxDelegate()
    {
        HDoubleSpinBoxDelegate delegate(nullptr);
        QStandardItemModel model(1, 1);
        const QModelIndex cell = model.index(0, 0);
        model.setData(cell, 0.1234, Qt::EditRole);
        QWidget view;
        QSignalSpy steps(&delegate, SIGNAL(valueChanged(double)));
        auto* spin = static_cast<QDoubleSpinBox*>(delegate.createEditor(&view, {}, cell));
        delegate.setEditorData(spin, cell);
        QCOMPARE(spin->text(), QLocale().toString(0.1234, 'f', 4));
        spin->setValue(-1e20);
        QCOMPARE(spin->value(), -1e16);
        spin->setValue(2.5);
        QCOMPARE(steps.count(), 3);
        delegate.setModelData(spin, &model, cell);
        QCOMPARE(model.data(cell, Qt::EditRole).toDouble(), 2.5);
    }

    void focusedEditorDestroyedWithItsWindow()
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
        auto* combo = editorOf<HEditableEnumEdit>(second->editField());
        combo->setFocus();
        QTRY_VERIFY(combo->hasFocus());
        combo->lineEdit()->selectAll();
        QTest::keyClicks(combo, QStringLiteral("draft"));

        // Swapping the editor away takes the focus from it, which is not the user leaving it.
        QSignalSpy secondSpy(second, SIGNAL(changed()));
        second->editField()->setParametr(&other);
        QCOMPARE(secondSpy.count(), 0);
        QCOMPARE(ee.value(), QStringLiteral("было"));

        combo = editorOf<HEditableEnumEdit>(row->editField());
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
};

QTEST_MAIN(TestEditField)
#include "tst_editfield.moc"
