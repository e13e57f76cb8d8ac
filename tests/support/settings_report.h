#pragma once
// What unitsim should report of a settings transfer, worked out from the settings files the
// program saved in the current folder, for the end-to-end tests of the transfer.
#include <QByteArray>
#include <QHash>

namespace rig {

using SimReport = QHash<QByteArray, QByteArray>;

// The report the unit should make of the saved settings: an empty text arrives as "1", the
// levels of the four rows joined; with the SIM card's settings nothing follows the SIM item.
SimReport expectedReport();
// The exchange ended complete after `acknowledged` items, and the unit decoded what was saved.
void checkTransferred(const SimReport& report, int acknowledged);

}  // namespace rig
