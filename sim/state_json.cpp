// state.json: the printer's state as a JSON document.
#include "sim/printer.h"

#include "sim/codetables.h"
#include "sim/status.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace sim {

namespace {

QString str(const std::string& s) { return QString::fromStdString(s); }

// A black-mark distance in 0.176 mm units, and in mm to two places; null
// when it was never set.
QJsonValue distance(int units)
{
    if (units < 0)
        return QJsonValue::Null;
    return QJsonObject{{"units", units}, {"mm", std::round(units * 17.6) / 100}};
}

} // namespace

std::string stateJson(const PrinterState& s)
{
    QJsonArray downloads;
    for (const DownloadSession& d : s.downloads)
        downloads.append(QJsonObject{
            {"kind", d.kind == DownloadKind::Font ? "font" : "firmware"},
            {"length", qint64(d.length)},
            {"sha256", str(d.sha256)},
            {"open", d.open},
            {"baud", int(d.baud)},
            {"file", d.file.empty() ? QJsonValue(QJsonValue::Null) : QJsonValue(str(d.file))},
            {"kept", qint64(d.kept)},
        });
    QJsonArray kicks;
    for (const DrawerKick& k : s.drawerKicks)
        kicks.append(QJsonObject{{"connector", k.connector},
                                 {"on", k.onTime},
                                 {"off", k.offTime},
                                 {"pin", drawerPin(k.connector) ? QJsonValue(drawerPin(k.connector)) : QJsonValue()},
                                 {"onMs", k.onTime * 2},
                                 {"offMs", k.offTime * 2}});
    QJsonArray cuts;
    for (const Cut& c : s.cuts)
        cuts.append(QJsonObject{{"full", c.full}, {"command", str(c.command)}});
    QJsonArray status;
    for (const std::string& name : statusNames(s.status))
        status.append(str(name));
    const bool knownBaud = s.baudIndex >= 0 && s.baudIndex < int(std::size(kBaudRates));

    const QJsonObject o{
        {"printMode", s.printMode},
        {"chineseMode", s.chineseMode},
        {"chineseModeByte", s.chineseModeByte},
        {"charSpacing", s.charSpacing},
        {"lineSpacing", s.lineSpacing},
        {"unidirectional", s.unidirectional},
        {"codeTable", s.codeTable < 0 ? QJsonValue(QJsonValue::Null)
                                      : QJsonObject{{"number", s.codeTable},
                                                    {"name", codeTable(s.codeTable) ? codeTable(s.codeTable)->name
                                                                                    : "unknown"}}},
        {"machineNumber", str(s.machineNumber)},
        {"blackMark", QJsonObject{{"on", s.blackMark},
                                  {"markDistance", distance(s.markDistance)},
                                  {"headOffset", distance(s.headOffset)},
                                  {"cutOffset", distance(s.cutOffset)}}},
        {"cutter", s.cutter ? QJsonValue(*s.cutter) : QJsonValue(QJsonValue::Null)},
        {"baudIndex", s.baudIndex},
        {"baud", knownBaud ? QJsonValue(int(kBaudRates[s.baudIndex])) : QJsonValue(QJsonValue::Null)},
        {"storedString", s.storedStringSet ? QJsonValue(str(hexBytes(s.storedString))) : QJsonValue(QJsonValue::Null)},
        {"downloads", downloads},
        {"drawerKicks", kicks},
        {"drawerKickCount", qint64(s.drawerKickCount)},
        {"cuts", cuts},
        {"cutCount", qint64(s.cutCount)},
        {"machineNumberPrints", s.machineNumberPrints},
        {"blackMarkFeeds", s.blackMarkFeeds},
        {"drives", QJsonObject{{"carriage", s.carriageDrives}, {"paperFeed", s.paperFeedDrives}, {"pins", s.pinDrives}}},
        {"bytesReceived", qint64(s.bytesReceived)},
        {"unknownCommands", qint64(s.unknownCommands)},
        {"status", status},
        {"connections", QJsonObject{{"accepted", qint64(s.connections.accepted)},
                                    {"closed", qint64(s.connections.closed)},
                                    {"refused", qint64(s.connections.refused)},
                                    {"idleDrops", qint64(s.connections.idleDrops)}}},
    };
    return QJsonDocument(o).toJson(QJsonDocument::Indented).toStdString();
}

} // namespace sim
