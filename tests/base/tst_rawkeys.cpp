// What the Windows key reader makes of Raw Input, on every system: the key code of each raw
// keyboard record, and the stamps a fake source of records feeds, taken by the key handler with
// the codes Qt gives it on Windows (support/NativeKeys.h, native::win).
#include "base/KeyStamps.h"
#include "base/RawKeys.h"
#include "support/NativeKeys.h"

#include <QTest>

using namespace kivora;

Q_DECLARE_METATYPE(kivora::RawKeyRecord)

namespace {
// Raw records as a keyboard sends them: the make code without its prefix, the flags, the
// virtual key.
RawKeyRecord down(quint16 makeCode, quint16 vKey, quint16 flags = 0) {
    return {makeCode, flags, vKey};
}
RawKeyRecord up(quint16 makeCode, quint16 vKey, quint16 flags = 0) {
    return {makeCode, quint16(flags | RawKeyBreak), vKey};
}
} // namespace

class tst_rawkeys : public QObject {
    Q_OBJECT
private slots:
    void keyCode_data();
    void keyCode();
    void noKey_data();
    void noKey();
    void fakeSource_data();
    void fakeSource();
    void noReaderNoStamp();
};

// The record of a key, and the key whose scan code the key handler is given for it.
void tst_rawkeys::keyCode_data() {
    QTest::addColumn<RawKeyRecord>("record");
    QTest::addColumn<quint32>("handlerCode");
    QTest::newRow("top-row 1") << down(0x02, 0x31) << native::win::Main1.scan;
    QTest::newRow("top-row 2") << down(0x03, 0x32) << native::win::Main2.scan;
    QTest::newRow("keypad 1") << down(0x4F, 0x61) << native::win::Pad1.scan;
    QTest::newRow("keypad 2") << down(0x50, 0x62) << native::win::Pad2.scan;
    QTest::newRow("keypad 1 with NumLock off (End)") << down(0x4F, 0x23) << native::win::Pad1NumLockOff.scan;
    QTest::newRow("End beside the keyboard (E0)") << down(0x4F, 0x23, RawKeyE0) << native::win::End.scan;
    QTest::newRow("main Enter") << down(0x1C, 0x0D) << native::win::MainEnter.scan;
    QTest::newRow("keypad Enter (E0)") << down(0x1C, 0x0D, RawKeyE0) << native::win::KeypadEnter.scan;
    QTest::newRow("1 going up") << up(0x02, 0x31) << native::win::Main1.scan;
}

void tst_rawkeys::keyCode() {
    QFETCH(RawKeyRecord, record);
    QFETCH(quint32, handlerCode);
    QCOMPARE(rawKeyCode(record).value_or(0), handlerCode);
}

// Records that name no key of their own.
void tst_rawkeys::noKey_data() {
    QTest::addColumn<RawKeyRecord>("record");
    QTest::newRow("the shift of an escape sequence (VKey 0xFF)") << down(0x2A, 0xFF, RawKeyE0);
    QTest::newRow("Pause (E1)") << down(0x1D, 0x13, RawKeyE1);
    QTest::newRow("keyboard overrun") << down(0xFF, 0x00);
}

void tst_rawkeys::noKey() {
    QFETCH(RawKeyRecord, record);
    QVERIFY(!rawKeyCode(record));
}

// A fake source reads records into the stamps (at the given µs), as the reader's thread does;
// then the key handler takes a stamp for each key it sees (its code, the µs it saw it at), in a
// trial that began at 9 s. taken: the stamp it gets, -1 for none.
struct Read {
    RawKeyRecord record;
    qint64 us;
};
struct Take {
    quint32 code;
    qint64 handledUs;
    qint64 taken;
};
using Reads = QList<Read>;
using Takes = QList<Take>;
Q_DECLARE_METATYPE(Reads)
Q_DECLARE_METATYPE(Takes)

void tst_rawkeys::fakeSource_data() {
    using namespace native::win;
    QTest::addColumn<Reads>("reads");
    QTest::addColumn<Takes>("takes");
    QTest::newRow("top-row 1 and 2, in order")
        << Reads{{down(0x02, 0x31), 9'500'000}, {down(0x03, 0x32), 9'700'000}}
        << Takes{{Main1.scan, 9'510'000, 9'500'000}, {Main2.scan, 9'710'000, 9'700'000}};
    QTest::newRow("keypad 1 and 2") << Reads{{down(0x4F, 0x61), 9'500'000}, {down(0x50, 0x62), 9'600'000}}
                                    << Takes{{Pad1.scan, 9'501'000, 9'500'000},
                                             {Pad2.scan, 9'601'000, 9'600'000}};
    // A key held down: the keyboard repeats it, the handler is told of the repeats as auto-repeats
    // and takes nothing for them; pressed again after its release, the new press is the one.
    QTest::newRow("a held key's repeats are no presses")
        << Reads{{down(0x02, 0x31), 9'100'000},
                 {down(0x02, 0x31), 9'600'000},
                 {down(0x02, 0x31), 9'633'000},
                 {up(0x02, 0x31), 9'650'000},
                 {down(0x02, 0x31), 9'900'000}}
        << Takes{{Main1.scan, 9'101'000, 9'100'000}, {Main1.scan, 9'901'000, 9'900'000}};
    QTest::newRow("a release is no press")
        << Reads{{up(0x02, 0x31), 9'500'000}} << Takes{{Main1.scan, 9'501'000, -1}};
    QTest::newRow("keypad Enter is not main Enter")
        << Reads{{down(0x1C, 0x0D, RawKeyE0), 9'500'000}}
        << Takes{{MainEnter.scan, 9'501'000, -1}, {KeypadEnter.scan, 9'502'000, 9'500'000}};
    // With Shift held and NumLock on, the keyboard lifts Shift for the keypad key with a record
    // of its own (E0 2A, VKey 0xFF): not a key the handler sees.
    QTest::newRow("the keypad's shift records are no presses")
        << Reads{{up(0x2A, 0xFF, RawKeyE0), 9'499'000}, {down(0x4F, 0x61), 9'500'000}}
        << Takes{{Pad1.scan, 9'501'000, 9'500'000}, {0x12A, 9'502'000, -1}};
}

void tst_rawkeys::fakeSource() {
    QFETCH(Reads, reads);
    QFETCH(Takes, takes);
    KeyStamps stamps;
    RawKeyFeed feed(stamps);
    for (const Read &r : reads)
        feed.read(r.record, r.us);
    for (const Take &t : takes)
        QCOMPARE(stamps.take(t.code, 9'000'000, t.handledUs).value_or(-1), t.taken);
}

// Where Raw Input cannot be registered no feed starts: the handler gets no stamp and keeps its
// own reading. Once a feed has ended the handler no longer waits for one.
void tst_rawkeys::noReaderNoStamp() {
    KeyStamps stamps;
    QVERIFY(!stamps.take(native::win::Main1.scan, 9'000'000, 10'000'000));
    {
        RawKeyFeed feed(stamps);
        feed.read(down(0x02, 0x31), 9'500'000);
    }
    QCOMPARE(stamps.take(native::win::Main1.scan, 9'000'000, 10'000'000).value_or(-1), 9'500'000);
    QVERIFY(!stamps.take(native::win::Main2.scan, 9'000'000, 10'000'000));
}

QTEST_GUILESS_MAIN(tst_rawkeys)
#include "tst_rawkeys.moc"
