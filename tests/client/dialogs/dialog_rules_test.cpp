// SPDX-License-Identifier: GPL-3.0-or-later
// The dialogs' plain rules, without windows: the playback address, the configuration value tables, the
// camera command rule, digit-only edits, the preference pages' rules and the device dialog's texts.
#include <QtTest>

#include "dialogs/camera_command.h"
#include "dialogs/config_values.h"
#include "dialogs/device_info_rules.h"
#include "dialogs/digits_validator.h"
#include "dialogs/playback_address.h"
#include "dialogs/preference_rules.h"

class DialogRulesTest : public QObject {
    Q_OBJECT
  private slots:
    void PlaybackAddressEncodesTheDeviceIdAndAddsOnlyTheTimesGiven() {
        const QString plain =
            BuildPlaybackAddress(QStringLiteral("10.0.0.5"), QStringLiteral("/playback.aspx"),
                                 QStringLiteral("MDVR-10001"), std::nullopt, std::nullopt);
        QCOMPARE(plain, QStringLiteral("http://10.0.0.5/playback.aspx?devicename=MDVR-10001"));

        const QDateTime start(QDate(2026, 1, 2), QTime(3, 4, 5));
        const QDateTime end(QDate(2026, 12, 31), QTime(23, 59, 59));
        QCOMPARE(BuildPlaybackAddress(QStringLiteral("h"), QStringLiteral(":8080/pb"),
                                      QStringLiteral("A.b_c~9-"), start, end),
                 QStringLiteral("http://h:8080/pb?devicename=A.b_c~9-&stime=2026-01-02T03:04:05"
                                "&etime=2026-12-31T23:59:59"));
        QCOMPARE(BuildPlaybackAddress(QStringLiteral("h"), QStringLiteral("/p"), QStringLiteral("x"),
                                      std::nullopt, end),
                 QStringLiteral("http://h/p?devicename=x&etime=2026-12-31T23:59:59"));

        // Nothing in a hostile id can end the value or add a parameter.
        const QString hostile = PercentEncodeUnreserved(QString::fromUtf8("a&etime=1#f?g h/\u00e9%+"));
        QCOMPARE(hostile, QStringLiteral("a%26etime%3D1%23f%3Fg%20h%2F%C3%A9%25%2B"));
        for (const QChar c : hostile) QVERIFY(c.isLetterOrNumber() || QStringLiteral("%-._~").contains(c));
    }

    void ValueTablesMapEntriesToWhatTheDeviceReadsAndWrites() {
        using namespace config_values;
        QCOMPARE(QualityKeys().size(), 5);
        QCOMPARE(ResolutionKeys().size(), 4);
        QCOMPARE(BitRateKeys().size(), 22);
        const int kbps1024 = static_cast<int>(BitRateKeys().indexOf(QStringLiteral("1024 kbps")));
        QCOMPARE(BitRateValue(kbps1024), 1048576);
        QCOMPARE(BitRatePositionOf(1048576), kbps1024);
        QCOMPARE(BitRatePositionOf(1000), -1);  // not a whole entry: nothing, not VBR
        QCOMPARE(BitRatePositionOf(0), 0);
        QCOMPARE(BitRatePositionOf(2048 * 1024), 21);
        QCOMPARE(BitRateValue(22), -1);
        QCOMPARE(PositionValue(0), 1);
        QCOMPARE(PositionValue(-1), -1);
        QCOMPARE(PositionOfValue(5, 5), 4);
        QCOMPARE(PositionOfValue(6, 5), -1);
        QCOMPARE(PositionOfValue(0, 5), -1);
        const QList<QPair<int, int>> counts = {{1, 0},  {4, 1},  {8, 2}, {16, 3},
                                               {12, 3}, {64, 3}, {0, 0}, {-4, 0}};
        for (const auto& [count, entry] : counts) QCOMPARE(ChannelCountPosition(count), entry);
    }

    void CameraRuleMovesOnPressStopsOnReleaseAndNeverAfter() {
        CameraCommandRule rule;
        const PtzSettings settings;  // speed 255, laser 97, spot 92
        // Holding "Left" (1202): 3 | speed << 8 on the press, Stop on the release, nothing for the click.
        QCOMPARE(rule.ValueFor(1202, 2, 0, settings), std::optional<int32_t>(3 | 255 << 8));
        QCOMPARE(rule.ValueFor(1202, 3, 0, settings), std::optional<int32_t>(0 | 255 << 8));
        QCOMPARE(rule.ValueFor(1202, 0, 0, settings), std::nullopt);
        QCOMPARE(rule.ValueFor(1213, 2, 0, settings), std::optional<int32_t>(14 | 255 << 8));
        // Plain buttons act on their click only.
        QCOMPARE(rule.ValueFor(1199, 0, 0, settings), std::optional<int32_t>(255 << 8));
        QCOMPARE(rule.ValueFor(1214, 0, 0, settings), std::optional<int32_t>(15 | 255 << 8));
        QCOMPARE(rule.ValueFor(1217, 0, 5, settings), std::optional<int32_t>(1298));
        QCOMPARE(rule.ValueFor(1216, 0, 0, settings), std::optional<int32_t>(17));
        QCOMPARE(rule.ValueFor(1218, 0, 300, settings), std::optional<int32_t>(19 | 300 << 8));
        // Spot three times: 18, 17, 18 with 92; Laser has a flag of its own.
        QCOMPARE(rule.ValueFor(1085, 0, 0, settings), std::optional<int32_t>(18 | 92 << 8));
        QCOMPARE(rule.ValueFor(1085, 0, 0, settings), std::optional<int32_t>(17 | 92 << 8));
        QCOMPARE(rule.ValueFor(1084, 0, 0, settings), std::optional<int32_t>(18 | 97 << 8));
        QCOMPARE(rule.ValueFor(1085, 0, 0, settings), std::optional<int32_t>(18 | 92 << 8));
        QVERIFY(!rule.spot_on());
        // Other controls send nothing; the speed setting is used as it is.
        QCOMPARE(rule.ValueFor(1032, 0, 0, settings), std::nullopt);
        QCOMPARE(rule.ValueFor(1219, 0, 0, settings), std::nullopt);
        QCOMPARE(rule.ValueFor(1200, 2, 0, PtzSettings{7, 1, 2}), std::optional<int32_t>(1 | 7 << 8));
    }

    void DigitEditsTakeOnlyDigitsThatFitIn32Bits() {
        QCOMPARE(ParseDigits(QStringLiteral("30")), std::optional<int32_t>(30));
        QCOMPARE(ParseDigits(QStringLiteral("0002147483647")), std::optional<int32_t>(2147483647));
        QCOMPARE(ParseDigits(QStringLiteral("2147483648")), std::nullopt);
        QCOMPARE(ParseDigits(QStringLiteral("123456789012345678901234567890")), std::nullopt);
        QCOMPARE(ParseDigits(QStringLiteral("-1")), std::nullopt);
        QCOMPARE(ParseDigits(QStringLiteral(" 1")), std::nullopt);
        QCOMPARE(ParseDigits(QString::fromUtf8("\u0661")), std::nullopt);  // a digit of another script
        QCOMPARE(ParseDigits(QString()), std::nullopt);
        QCOMPARE(ParseDigits(QStringLiteral("256"), 255), std::nullopt);

        DigitsValidator validator(INT32_MAX);
        int position = 0;
        QString text = QStringLiteral("123456789012345678901234567890");
        QCOMPARE(validator.validate(text, position), QValidator::Invalid);
        text = QStringLiteral("12a");
        QCOMPARE(validator.validate(text, position), QValidator::Invalid);
        text.clear();
        QCOMPARE(validator.validate(text, position), QValidator::Intermediate);
        text = QStringLiteral("900");
        QCOMPARE(validator.validate(text, position), QValidator::Acceptable);
    }

    void PreferenceRules() {
        using namespace preferences;
        QCOMPARE(BufferToolTip(25, QStringLiteral("Sec")), QStringLiteral("2.5 Sec"));
        QCOMPARE(BufferToolTip(40, QStringLiteral("Sek.")), QStringLiteral("4.0 Sek."));
        QCOMPARE(BufferToolTip(1, QStringLiteral("Sec")), QStringLiteral("0.1 Sec"));

        const QStringList languages = {QStringLiteral("English"), QStringLiteral("German (Germany)"),
                                       QStringLiteral("French (France)")};
        QCOMPARE(LanguageEntryFor(languages, QStringLiteral("German (Germany)")), 1);
        QCOMPARE(LanguageEntryFor(languages, QStringLiteral("french")), 2);
        QCOMPARE(LanguageEntryFor(languages, QStringLiteral("xx_XX")), 0);
        QCOMPARE(LanguageEntryFor(languages, QString()), 0);
        QCOMPARE(LanguageEntryFor({}, QStringLiteral("English")), -1);

        QCOMPARE(WithFinalSeparator(QStringLiteral("/data/rec")), QStringLiteral("/data/rec/"));
        QCOMPARE(WithFinalSeparator(QStringLiteral("/data/rec/")), QStringLiteral("/data/rec/"));
        QCOMPARE(WithFinalSeparator(QString()), QString());

        CycleValues only_anywhere{12, false, false, true};
        QCOMPARE(StopModeOf(only_anywhere), 7);
        const CycleValues reloaded = CycleValuesOf(12, 7);
        QVERIFY(reloaded.click_device_list && reloaded.click_display_window && reloaded.click_anywhere);
        QCOMPARE(StopModeOf(CycleValues{0, false, true, false}), 2);
        QCOMPARE(StopModeOf(CycleValues{0, false, false, false}), 0);
        QCOMPARE(StopModeOf(CycleValues{}), 3);  // the defaults
        QVERIFY(SetsCountdown(10, false));
        QVERIFY(SetsCountdown(0, true));
        QVERIFY(!SetsCountdown(0, false));
    }

    void DeviceIdsAndVehicleIdsWithProvinces() {
        using namespace device_info;
        QVERIFY(!IsValidDeviceId(QStringLiteral("ABC")));
        QVERIFY(IsValidDeviceId(QStringLiteral("ABCD")));
        QVERIFY(IsValidDeviceId(QString(63, QLatin1Char('x')).left(62)));
        QVERIFY(!IsValidDeviceId(QString(64, QLatin1Char('x'))));
        QVERIFY(!IsValidDeviceId(QString(40, QChar(0x00e9))));  // 40 characters, 80 bytes

        VehicleId split = SplitVehicleId(QByteArray("CX-4410@3\0\0\0", 12), 1);
        QCOMPARE(split.plain, QStringLiteral("CX-4410"));
        QCOMPARE(split.province_index, 2);
        QCOMPARE(ComposeVehicleId(split.plain, split.province_index, 1), QByteArray("CX-4410@3"));
        QCOMPARE(SplitVehicleId("AB-3127", 0).province_index, -1);
        QCOMPARE(SplitVehicleId("AB@x", 0).province_index, 0);
        QCOMPARE(SplitVehicleId("AB@99999999999999", 0).province_index, INT32_MAX);
        QCOMPARE(ComposeVehicleId(QStringLiteral("AB"), -1, 5), QByteArray("AB"));

        // A long name gives way to the province, at a character boundary.
        const QByteArray long_id = ComposeVehicleId(QString(30, QChar(0x00e9)), 11, 1);
        QVERIFY(long_id.size() <= kVehicleIdBytes - 1);
        QVERIFY(long_id.endsWith("@12"));
        QVERIFY(QString::fromUtf8(long_id).startsWith(QString(14, QChar(0x00e9)) + QLatin1Char('@')));
        QCOMPARE(Utf8Within(QString::fromUtf8("a\U0001F600b"), 4), QByteArray("a"));
    }
};

QTEST_MAIN(DialogRulesTest)
#include "dialog_rules_test.moc"
