// The printer toolbox driven as a technician drives it, against the virtual
// printer on a serial line: a picture whose paper holds exactly the
// preview's dots, the character tables, the drawer's repeated kicks, the
// printer's ID; and bad input refused with nothing sent.
#include "port/port.h"
#include "printer/codepage.h"
#include "printer/image.h"
#include "res/resource.h"
#include "res/resources.h"
#include "ui/support/cli_run.h"
#include "ui/support/printer_rig.h"
#include "ui/tools/tools.h"

#include <QImage>
#include <QLabel>
#include <QPainter>

#include <string>

using namespace std::chrono_literals;

namespace {

enum Page { kImage, kCodePage, kDrawer, kInfo };

HWND OpenTools()
{
    return PlatTestOpenDialog(MAKEINTRESOURCEA(IDD_TOOLS), nullptr, bToolsDlgProc);
}

// The page of a tab, selected as a user does; it alone shows.
HWND ShowPage(HWND dialog, int page)
{
    if (!PlatTestSelectTab(dialog, IDC_TL_TAB, page))
        return nullptr;
    for (int i = 0; i < kToolsPageCount; ++i)
        if (PlatTestWidget(gTools.pages[static_cast<size_t>(i)])->isVisible() != (i == page))
            return nullptr;
    return gTools.pages[static_cast<size_t>(page)];
}

// Replaces an edit box's text as a user does: the old text deleted, the new typed.
void Retype(HWND page, int id, const std::string& text)
{
    QVERIFY(PlatTestFocus(page, id));
    QVERIFY(PlatTestKey(page, Qt::Key_End));
    for (size_t i = PlatTestText(page, id).size(); i > 0; --i)
        QVERIFY(PlatTestKey(page, Qt::Key_Backspace));
    QVERIFY(PlatTestType(page, id, text));
}

// A picture with a thick frame, a disc and a grey ramp: every kind of dot.
std::string WritePicture(const std::string& dir)
{
    QImage picture(150, 61, QImage::Format_RGB32);
    picture.fill(Qt::white);
    QPainter painter(&picture);
    painter.fillRect(0, 0, 150, 4, Qt::black);
    painter.fillRect(0, 0, 4, 61, Qt::black);
    painter.setBrush(Qt::black);
    painter.drawEllipse(QPoint(40, 30), 18, 18);
    for (int x = 70; x < 150; ++x)
        painter.fillRect(x, 10, 1, 45, QColor::fromHsv(0, 0, (x - 70) * 3));
    painter.end();
    const std::string path = dir + "/picture.png";
    picture.save(QString::fromStdString(path));
    return path;
}

// The black dots of an image, as rows, from the first row that has one.
std::vector<std::vector<bool>> BlackRows(const QImage& image, int width)
{
    std::vector<std::vector<bool>> rows;
    for (int y = 0; y < image.height(); ++y) {
        std::vector<bool> row(static_cast<size_t>(width));
        bool any = false;
        for (int x = 0; x < width && x < image.width(); ++x)
            any |= row[static_cast<size_t>(x)] = qGray(image.pixel(x, y)) < 128;
        if (any || !rows.empty())
            rows.push_back(row);
    }
    while (!rows.empty() && std::find(rows.back().begin(), rows.back().end(), true) == rows.back().end())
        rows.pop_back();
    return rows;
}

// The status line reports the send whole and the engine has let go of the port.
bool StatusShows(HWND dialog, size_t bytes)
{
    return PlatTestText(dialog, IDC_TL_STATUS) == "已发送 " + std::to_string(bytes) + " 字节" &&
           gCurrentPort.state != PORT_STATE_BUSY;
}

} // namespace

class TestTools : public QObject {
    Q_OBJECT

private slots:
    void init() { PlatTestRecordMessageBoxes(); PlatTestClearMessageBoxes(); }
    void cleanup() { PlatTestDestroyAll(); }

    void picturePrintsExactlyThePreview()
    {
        rig::Bench bench;
        sim::SerialPrinter& printer = bench.serial();
        HWND dialog = OpenTools();
        QVERIFY(PlatTestClick(dialog, IDC_TL_SERIAL));
        HWND page = gTools.pages[kImage];
        for (int i = 1; i < kToolsPageCount; ++i)
            QVERIFY(!PlatTestWidget(gTools.pages[static_cast<size_t>(i)])->isVisible());
        const std::string picture = WritePicture(bench.dir().path());
        PlatTestFileChooserAnswer(picture);
        QVERIFY(PlatTestClick(page, IDC_IM_OPEN));
        // This family's band feed: 16 motion units, one 8-dot band, so the
        // bands meet on the virtual printer's paper.
        QVERIFY(PlatTestSelectComboRow(page, IDC_IM_PRESET, 2)); // away and back: the fields follow the choice
        QVERIFY(PlatTestSelectComboRow(page, IDC_IM_PRESET, 0));
        QCOMPARE(PlatTestText(page, IDC_IM_FEED), std::string("16"));
        Retype(page, IDC_IM_WIDTH, "97");

        std::vector<uint8_t> fromPage[2];
        for (bool raster : {false, true}) {
            printer.printer().reset();
            if (raster)
                QVERIFY(PlatTestClick(page, IDC_IM_RASTER));
            // 97 x 39 dots: neither a multiple of 8 rows nor of 8 columns.
            const QPixmap preview = static_cast<QLabel*>(PlatTestWidget(PlatTestFindControl(page, IDC_IM_PREVIEW)))->pixmap();
            QCOMPARE(preview.width(), 97);
            QCOMPARE(preview.height(), 39);
            QVERIFY(PlatTestClick(page, IDC_IM_PRINT));
            const size_t length = (raster ? ImageRasterBytes(gTools.mono) : ImageBandBytes(gTools.mono, 16)).size();
            QVERIFY(PlatTestWaitFor([&] { return StatusShows(dialog, length); }, 10000));
            QVERIFY(printer.waitForBytes(length, 5s));
            QCOMPARE(printer.received().size(), length);

            const std::string png = bench.dir().path() + (raster ? "/raster.png" : "/bands.png");
            QVERIFY(printer.printer().renderPng(png));
            const auto printed = BlackRows(QImage(QString::fromStdString(png)), printer.printer().paperWidth());
            const auto shown = BlackRows(preview.toImage(), printer.printer().paperWidth());
            QCOMPARE(printed.size(), size_t(39));
            QVERIFY2(printed == shown, raster ? "raster" : "bands");
            fromPage[raster] = printer.received();
        }
        // 576 x 234 dots, taller than the preview: it shows a screenful at a
        // time, one pixel a dot, and the buttons step through every row.
        Retype(page, IDC_IM_WIDTH, "576");
        QCOMPARE(gTools.mono.height, 234);
        const auto shownRows = [&] {
            const QImage shown = static_cast<QLabel*>(PlatTestWidget(PlatTestFindControl(page, IDC_IM_PREVIEW)))
                                     ->pixmap().toImage();
            std::vector<std::vector<bool>> rows(static_cast<size_t>(shown.height()), std::vector<bool>(576));
            for (int y = 0; y < shown.height(); ++y)
                for (int x = 0; x < 576; ++x)
                    rows[size_t(y)][size_t(x)] = x < shown.width() && qGray(shown.pixel(x, y)) < 128;
            return rows;
        };
        std::vector<std::vector<bool>> seen = shownRows();
        QVERIFY(seen.size() < 234 && seen.size() >= 100);
        QCOMPARE(PlatTestText(page, IDC_IM_SIZE).substr(PlatTestText(page, IDC_IM_SIZE).find("，预览")),
                 "，预览第 1–" + std::to_string(seen.size()) + " 行");
        QVERIFY(!IsWindowEnabled(GetDlgItem(page, IDC_IM_UP)));
        while (IsWindowEnabled(GetDlgItem(page, IDC_IM_DOWN))) {
            QVERIFY(PlatTestClick(page, IDC_IM_DOWN));
            const auto rows = shownRows();
            QVERIFY(gTools.previewTop > 0 && size_t(gTools.previewTop) <= seen.size());
            QVERIFY(std::equal(rows.begin(), rows.begin() + (long(seen.size()) - gTools.previewTop),
                               seen.begin() + gTools.previewTop)); // the rows still in sight agree
            seen.resize(size_t(gTools.previewTop));
            seen.insert(seen.end(), rows.begin(), rows.end());
        }
        QCOMPARE(seen.size(), size_t(234));
        for (int y = 0; y < 234; ++y)
            for (int x = 0; x < 576; ++x)
                QCOMPARE(bool(seen[size_t(y)][size_t(x)]), gTools.mono.Black(x, y));
        QVERIFY(PlatTestClick(page, IDC_IM_UP));
        QVERIFY(IsWindowEnabled(GetDlgItem(page, IDC_IM_DOWN)));
        // mptest-cli image with the page's settings sends the same bytes.
        QVERIFY(PlatTestClick(dialog, IDC_TL_CLOSE));
        for (bool raster : {false, true}) {
            printer.printer().reset();
            std::vector<std::string> args{"image", picture, "--port", printer.slavePath(), "--width", "97",
                                          "--band-feed", "16", "--quiet"};
            if (raster)
                args.push_back("--raster");
            QCOMPARE(RunCli(args), kExitOk);
            QVERIFY(printer.waitForBytes(fromPage[raster].size(), 5s));
            QVERIFY(printer.received() == fromPage[raster]);
        }
        QVERIFY(PlatTestMessageBoxes().empty());
    }

    void codePagesDrawerAndPrinterId()
    {
        rig::Bench bench;
        sim::PrinterOptions options;
        options.modelId = 0x21;
        options.typeId = 0x02;
        options.versionId = 0x15;
        sim::SerialPrinter& printer = bench.serial(options);
        HWND dialog = OpenTools();
        QVERIFY(PlatTestClick(dialog, IDC_TL_SERIAL));

        HWND page = ShowPage(dialog, kCodePage);
        QVERIFY(PlatTestSelectComboRow(page, IDC_CP_NAMED, 6));
        QCOMPARE(PlatTestText(page, IDC_CP_NUMBER), std::string("16"));
        QVERIFY(PlatTestClick(page, IDC_CP_PRINT));
        const std::string one = CodePageBytes(16);
        QVERIFY(printer.waitForBytes(one.size(), 5s));
        QVERIFY(printer.waitForLine("ESC t character table 16 (WPC1252)", 5s));
        QVERIFY(PlatTestWaitFor([&] { return StatusShows(dialog, one.size()); }, 5000));
        QVERIFY(PlatTestClick(page, IDC_CP_PRINT_ALL));
        QVERIFY(printer.waitForBytes(one.size() + AllCodePagesBytes().size(), 5s));
        QVERIFY(PlatTestWaitFor([&] { return StatusShows(dialog, AllCodePagesBytes().size()); }, 5000));
        QCOMPARE(printer.printer().countLines("ESC t character table"), size_t(11));
        const auto got = printer.received();
        QCOMPARE(std::string(got.begin(), got.end()), one + AllCodePagesBytes());

        page = ShowPage(dialog, kDrawer);
        QVERIFY(PlatTestClick(page, IDC_DR_PIN5));
        Retype(page, IDC_DR_ON, "101");
        Retype(page, IDC_DR_OFF, "40");
        Retype(page, IDC_DR_TIMES, "3");
        Retype(page, IDC_DR_INTERVAL, "50");
        QCOMPARE(PlatTestText(page, IDC_DR_ON_BYTE), std::string("= 32 (100 ms)"));
        QCOMPARE(PlatTestText(page, IDC_DR_BYTES), std::string("发送: 1B 70 01 32 14，共 3 次，每次间隔 50 ms"));
        QVERIFY(PlatTestClick(page, IDC_DR_OPEN));
        // The pauses between kicks are the dialog's timer: wait delivering its messages.
        QVERIFY(PlatTestWaitFor([&] { return printer.printer().state().drawerKickCount == 3; }, 5000));
        for (const sim::DrawerKick& kick : printer.printer().state().drawerKicks)
            QVERIFY(kick.connector == 1 && kick.onTime == 50 && kick.offTime == 20);
        QVERIFY(PlatTestWaitFor([&] { return gTools.drawerLeft == 0 && StatusShows(dialog, 5); }, 5000));

        page = ShowPage(dialog, kInfo);
        QVERIFY(PlatTestClick(page, IDC_IF_READ));
        QCOMPARE(PlatTestText(page, IDC_IF_MODEL), std::string("0x21 (33)"));
        QCOMPARE(PlatTestText(page, IDC_IF_TYPE), std::string("0x02 (2)，不支持双字节字符，有自动切刀，非标签纸"));
        QCOMPARE(PlatTestText(page, IDC_IF_VERSION), std::string("0x15 (21)"));
        QVERIFY(printer.printer().countLines("GS I printer ID") == 3);

        // A printer that reads nothing answers nothing: the bounded read ends and says so.
        printer.holdLine(true);
        QVERIFY(PlatTestClick(page, IDC_IF_READ));
        for (int id : {IDC_IF_MODEL, IDC_IF_TYPE, IDC_IF_VERSION})
            QCOMPARE(PlatTestText(page, id), std::string("无应答"));
        QCOMPARE(PlatTestText(dialog, IDC_TL_STATUS), std::string("打印机无应答"));
        printer.holdLine(false);
        QVERIFY(PlatTestWaitFor([&] { return printer.printer().countLines("GS I printer ID") == 6; }, 5000));

        // mptest-cli's codepage, codepage --all, drawer and info send what the pages sent.
        QVERIFY(PlatTestClick(dialog, IDC_TL_CLOSE));
        const std::string port = printer.slavePath();
        printer.printer().reset();
        QCOMPARE(RunCli({"codepage", "16", "--port", port, "--quiet"}), kExitOk);
        QCOMPARE(RunCli({"codepage", "--all", "--port", port, "--quiet"}), kExitOk);
        QVERIFY(printer.waitForBytes(got.size(), 5s));
        QVERIFY(printer.received() == got);
        QCOMPARE(RunCli({"drawer", "--pin", "5", "--on", "101", "--off", "40", "--times", "3", "--interval", "50", "--port",
                         port, "--quiet"}),
                 kExitOk);
        QVERIFY(PlatTestWaitFor([&] { return printer.printer().state().drawerKickCount == 3; }, 5000));
        for (const sim::DrawerKick& kick : printer.printer().state().drawerKicks)
            QVERIFY(kick.connector == 1 && kick.onTime == 50 && kick.offTime == 20);
        QCOMPARE(RunCli({"info", "--port", port, "--quiet"}), kExitOk);
        QCOMPARE(printer.printer().countLines("GS I printer ID"), size_t(3));
        printer.holdLine(true);
        QCOMPARE(RunCli({"info", "--port", port, "--quiet"}), kExitFailed); // no answer is no success
        printer.holdLine(false);
        QVERIFY(PlatTestMessageBoxes().empty());
    }

    void badInputIsRefusedAndNothingSent()
    {
        rig::Bench bench;
        sim::SerialPrinter& printer = bench.serial();
        HWND dialog = OpenTools();
        QVERIFY(PlatTestClick(dialog, IDC_TL_SERIAL));
        auto file = [&](const char* name, const std::string& bytes) {
            return bench.dir().writeFile(name, std::vector<uint8_t>(bytes.begin(), bytes.end()));
        };
        // A PNG's signature and header chunk claiming these sides, no pixels.
        auto pngHeader = [](uint32_t w, uint32_t h) {
            std::string png("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR", 16);
            for (uint32_t v : {w, h})
                for (int shift = 24; shift >= 0; shift -= 8)
                    png.push_back(static_cast<char>(v >> shift));
            return png + std::string("\x08\x00\x00\x00\x00\0\0\0\0", 9);
        };
        const struct {
            const char* what;
            Page page;
            std::function<void(HWND)> act;
            const char* message;
        } cases[] = {
            {"not an image", kImage, [&](HWND p) {
                 PlatTestFileChooserAnswer(file("text.png", "just some text"));
                 QVERIFY(PlatTestClick(p, IDC_IM_OPEN));
             }, "不是可读的图片（支持 PNG、BMP、JPEG）"},
            {"0 x 0", kImage, [&](HWND p) {
                 PlatTestFileChooserAnswer(file("empty.png", pngHeader(0, 0)));
                 QVERIFY(PlatTestClick(p, IDC_IM_OPEN));
             }, "图片是空的（0 × 0）"},
            {"20000 x 20000", kImage, [&](HWND p) {
                 PlatTestFileChooserAnswer(file("huge.png", pngHeader(20000, 20000)));
                 QVERIFY(PlatTestClick(p, IDC_IM_OPEN));
             }, "图片太大（每边最多 10000 像素，共 4000 万像素）"},
            {"no picture yet", kImage, [](HWND p) { QVERIFY(PlatTestClick(p, IDC_IM_PRINT)); }, "请先选择图片"},
            {"table 256", kCodePage, [](HWND p) {
                 Retype(p, IDC_CP_NUMBER, "256");
                 QVERIFY(PlatTestClick(p, IDC_CP_PRINT));
             }, "代码页编号应为 0–255"},
            {"pulse 0 ms", kDrawer, [](HWND p) {
                 Retype(p, IDC_DR_ON, "0");
                 QVERIFY(PlatTestClick(p, IDC_DR_OPEN));
             }, "脉冲开启时间应为 2–510 毫秒"},
        };
        for (const auto& c : cases) {
            PlatTestClearMessageBoxes();
            c.act(ShowPage(dialog, c.page));
            const auto boxes = PlatTestMessageBoxes();
            QVERIFY2(boxes.size() == 1, c.what);
            QCOMPARE(boxes.front().text, std::string(c.message));
        }
        QCOMPARE(PlatTestText(gTools.pages[kImage], IDC_IM_FILE), std::string());
        // Every refusal came before a send: nothing is under way, nothing arrived.
        QCOMPARE(int(gCurrentPort.state), int(PORT_STATE_IDLE));
        QCOMPARE(printer.received().size(), size_t(0));

        // mptest-cli refuses the same input, with its exit code, sending nothing.
        QVERIFY(PlatTestClick(dialog, IDC_TL_CLOSE));
        const std::string port = printer.slavePath();
        const struct {
            std::vector<std::string> args;
            int code;
        } cli[] = {
            {{"image", bench.dir().path() + "/text.png"}, kExitFailed},
            {{"image", bench.dir().path() + "/empty.png"}, kExitFailed},
            {{"image", bench.dir().path() + "/huge.png"}, kExitFailed},
            {{"codepage", "256"}, kExitUsage},
            {{"drawer", "--on", "0"}, kExitFailed},
            {{"drawer", "--pin", "3"}, kExitFailed},
        };
        for (const auto& c : cli) {
            std::vector<std::string> args = c.args;
            args.insert(args.end(), {"--port", port, "--quiet"});
            QCOMPARE(RunCli(args), c.code);
        }
        QCOMPARE(printer.received().size(), size_t(0));
    }
};

PLAT_TEST_MAIN_WITH(TestTools, ResRegister)

#include "tst_tools.moc"
