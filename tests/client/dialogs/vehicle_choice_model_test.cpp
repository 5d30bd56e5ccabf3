// SPDX-License-Identifier: GPL-3.0-or-later
// VehicleChoiceModel under a combo box: a changed list replaces the rows in one reset, an unchanged one
// only swaps its devices and keeps the operator's choice, and the devices are handed back exactly once.
#include <QAbstractItemModelTester>
#include <QComboBox>
#include <QSignalSpy>
#include <QtTest>

#include "dialogs/vehicle_choice_model.h"

namespace {

AppDevice* Fake(uintptr_t n) {
    return reinterpret_cast<AppDevice*>(n * 16);
}

}  // namespace

class VehicleChoiceModelTest : public QObject {
    Q_OBJECT
  private slots:
    void replaceKeepsUnchangedRowsAndHandsDevicesBackOnce() {
        QComboBox box;
        auto* model = new VehicleChoiceModel(&box);
        QAbstractItemModelTester tester(model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        box.setModel(model);
        QSignalSpy resets(model, &QAbstractItemModel::modelReset);

        QVERIFY(model->Replace({{"A - one", Fake(1)}, {"B - two", Fake(2)}, {"C - three", Fake(3)}}));
        QCOMPARE(resets.count(), 1);
        box.setCurrentIndex(1);

        // The same texts with new devices: no reset, the choice stays, the new devices are the data.
        QVERIFY(!model->Replace({{"A - one", Fake(4)}, {"B - two", Fake(5)}, {"C - three", Fake(6)}}));
        QCOMPARE(resets.count(), 1);
        QCOMPARE(box.currentIndex(), 1);
        QCOMPARE(box.currentData().value<void*>(), static_cast<void*>(Fake(5)));

        const std::vector<AppDevice*> back = model->TakeDevices();
        QCOMPARE(back, (std::vector<AppDevice*>{Fake(4), Fake(5), Fake(6)}));
        QVERIFY(model->TakeDevices().empty());
        QCOMPARE(box.itemText(2), QString("C - three"));  // the texts stay on show
        QCOMPARE(box.currentData().value<void*>(), nullptr);

        // A list that differs in one text, or in its length, is a new list.
        QVERIFY(model->Replace({{"A - one", Fake(7)}, {"B - two!", Fake(8)}, {"C - three", Fake(9)}}));
        QVERIFY(model->Replace({{"A - one", Fake(7)}}));
        QCOMPARE(resets.count(), 3);
        QCOMPARE(box.count(), 1);
        QVERIFY(model->Replace({}));
        QCOMPARE(box.count(), 0);
    }
};

QTEST_MAIN(VehicleChoiceModelTest)
#include "vehicle_choice_model_test.moc"
