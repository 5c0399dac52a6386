// Tests of qtKeyToKeySym: the whole special-key table, the function keys, the printable
// ranges with their holes and the letter rule.
#include "remote/keymapping.h"

#include <QSet>
#include <QtTest>

class TestKeyMapping : public QObject
{
    Q_OBJECT
private slots:
    void mapsKey_data();
    void mapsKey();
    void lettersFollowModifierFlag();
    void printableRangesAndHoles();
    void everythingElseUnmapped();
};

void TestKeyMapping::mapsKey_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("keysym");
    QTest::newRow("Escape") << int(Qt::Key_Escape) << 0xFF1B;
    QTest::newRow("Tab") << int(Qt::Key_Tab) << 0xFF09;
    QTest::newRow("Backspace") << int(Qt::Key_Backspace) << 0xFF08;
    QTest::newRow("Return") << int(Qt::Key_Return) << 0xFF0D;
    QTest::newRow("Enter (keypad) is Return") << int(Qt::Key_Enter) << 0xFF0D;
    QTest::newRow("Insert") << int(Qt::Key_Insert) << 0xFF63;
    QTest::newRow("Delete") << int(Qt::Key_Delete) << 0xFFFF;
    QTest::newRow("Pause") << int(Qt::Key_Pause) << 0xFF13;
    QTest::newRow("Print") << int(Qt::Key_Print) << 0xFF61;
    QTest::newRow("SysReq") << int(Qt::Key_SysReq) << 0xFF15;
    QTest::newRow("Clear") << int(Qt::Key_Clear) << 0xFF0B;
    QTest::newRow("Home") << int(Qt::Key_Home) << 0xFF50;
    QTest::newRow("End") << int(Qt::Key_End) << 0xFF57;
    QTest::newRow("Left") << int(Qt::Key_Left) << 0xFF51;
    QTest::newRow("Up") << int(Qt::Key_Up) << 0xFF52;
    QTest::newRow("Right") << int(Qt::Key_Right) << 0xFF53;
    QTest::newRow("Down") << int(Qt::Key_Down) << 0xFF54;
    QTest::newRow("PageUp") << int(Qt::Key_PageUp) << 0xFF55;
    QTest::newRow("PageDown") << int(Qt::Key_PageDown) << 0xFF56;
    QTest::newRow("Shift is Shift_R") << int(Qt::Key_Shift) << 0xFFE2;
    QTest::newRow("Control is Control_R") << int(Qt::Key_Control) << 0xFFE4;
    QTest::newRow("Meta is Meta_R") << int(Qt::Key_Meta) << 0xFFE8;
    QTest::newRow("Alt is Alt_R") << int(Qt::Key_Alt) << 0xFFEA;
    QTest::newRow("CapsLock") << int(Qt::Key_CapsLock) << 0xFFE5;
    QTest::newRow("NumLock") << int(Qt::Key_NumLock) << 0xFF7F;
    QTest::newRow("ScrollLock") << int(Qt::Key_ScrollLock) << 0xFF14;
    QTest::newRow("Super_L") << int(Qt::Key_Super_L) << 0xFFEB;
    QTest::newRow("Super_R") << int(Qt::Key_Super_R) << 0xFFEC;
    QTest::newRow("Help") << int(Qt::Key_Help) << 0xFF6A;
    QTest::newRow("Mode_switch") << int(Qt::Key_Mode_switch) << 0xFF7E;
    QTest::newRow("F1") << int(Qt::Key_F1) << 0xFFBE;
    QTest::newRow("F12") << int(Qt::Key_F12) << 0xFFC9;
    QTest::newRow("F35") << int(Qt::Key_F35) << 0xFFE0;
    QTest::newRow("comma") << int(Qt::Key_Comma) << 0x2C;
    QTest::newRow("less") << int(Qt::Key_Less) << 0x3C;
    QTest::newRow("Backtab") << int(Qt::Key_Backtab) << -1;
    QTest::newRow("Menu") << int(Qt::Key_Menu) << -1;
    QTest::newRow("VolumeUp") << int(Qt::Key_VolumeUp) << -1;
    QTest::newRow("unknown") << int(Qt::Key_unknown) << -1;
    QTest::newRow("zero") << 0 << -1;
    QTest::newRow("negative") << -5 << -1;
}

void TestKeyMapping::mapsKey()
{
    QFETCH(int, key);
    QFETCH(int, keysym);
    QCOMPARE(qtKeyToKeySym(key, false), keysym);
    QCOMPARE(qtKeyToKeySym(key, true), keysym);
}

void TestKeyMapping::lettersFollowModifierFlag()
{
    for (int key = Qt::Key_A; key <= Qt::Key_Z; ++key) {
        QCOMPARE(qtKeyToKeySym(key, false), key + 0x20);
        QCOMPARE(qtKeyToKeySym(key, true), key);
    }
    // Qt reports letters as capitals only; the small codes are the ASCII range rule's.
    QCOMPARE(qtKeyToKeySym(0x61, false), -1);
    QCOMPARE(qtKeyToKeySym(0x7A, true), -1);
}

void TestKeyMapping::printableRangesAndHoles()
{
    for (int key = 0; key < 0x100; ++key) {
        const bool letter = key >= 0x41 && key <= 0x5A;
        if (letter)
            continue;
        // The holes: 0xAF and everything above 0xBB. Comma and less-than map to themselves
        // like their neighbours: "1,5" must not reach the device as "15".
        const bool mapped = (key >= 0x20 && key <= 0x7E && !(key >= 0x61 && key <= 0x7A)) ||
                            (key >= 0xA0 && key <= 0xAE) || key == 0xBB;
        QCOMPARE(qtKeyToKeySym(key, false), mapped ? key : -1);
        QCOMPARE(qtKeyToKeySym(key, true), mapped ? key : -1);
    }
}

void TestKeyMapping::everythingElseUnmapped()
{
    const QSet<int> special = {
        Qt::Key_Escape,  Qt::Key_Tab,        Qt::Key_Backspace, Qt::Key_Return,
        Qt::Key_Enter,   Qt::Key_Insert,     Qt::Key_Delete,    Qt::Key_Pause,
        Qt::Key_Print,   Qt::Key_SysReq,     Qt::Key_Clear,     Qt::Key_Home,
        Qt::Key_End,     Qt::Key_Left,       Qt::Key_Up,        Qt::Key_Right,
        Qt::Key_Down,    Qt::Key_PageUp,     Qt::Key_PageDown,  Qt::Key_Shift,
        Qt::Key_Control, Qt::Key_Meta,       Qt::Key_Alt,       Qt::Key_CapsLock,
        Qt::Key_NumLock, Qt::Key_ScrollLock, Qt::Key_Super_L,   Qt::Key_Super_R,
        Qt::Key_Help,    Qt::Key_Mode_switch};
    int mapped = 0;
    for (int key = 0x100; key < 0x20000; ++key)
        QCOMPARE(qtKeyToKeySym(key, true), -1);
    for (int key = 0x01000000; key < 0x01002000; ++key) {
        const int sym = qtKeyToKeySym(key, false);
        if (special.contains(key) || (key >= Qt::Key_F1 && key <= Qt::Key_F35)) {
            QVERIFY(sym >= 0xFF00 && sym <= 0xFFFF);
            ++mapped;
        } else {
            QCOMPARE(sym, -1);
        }
    }
    QCOMPARE(mapped, 30 + 35);
}

QTEST_APPLESS_MAIN(TestKeyMapping)
#include "tst_keymapping.moc"
