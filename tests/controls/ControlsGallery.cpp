// Controls gallery: renders every skinned control in each of its states and the
// whole artwork set to PNG files, for looking at them.
//
// usage: controls_gallery OUTPUT_FOLDER
// Exits 1 when the folder cannot be made or any picture cannot be written.
// Writes hover_<state>.png, percent_<value>.png, skin_<id>.png (each picture as
// built into the resources, small ones also enlarged), cursor.png, icon_16.png,
// icon_32.png and main_window.png (the background stretched over the main
// window's client area with the bitmap buttons, list and slider in place).
#include <QApplication>
#include <QDir>
#include <QEnterEvent>
#include <QHeaderView>
#include <QPainter>
#include <QSlider>
#include <QThread>
#include <QTreeWidget>
#include <cstdio>

#include "controls/BitmapButton.h"
#include "controls/DialogFont.h"
#include "controls/HoverButton.h"
#include "controls/PercentBar.h"
#include "controls/SkinLayout.h"
#include "controls/SkinResources.h"
#include "platform/WindowMessages.h"

namespace {

QString g_folder;
int g_failedWrites = 0;  // pictures that could not be written: the run fails

void Write(const QImage& image, const QString& name, int enlarge = 1) {
    QImage out = image;
    if (enlarge > 1)
        out = image.scaled(image.size() * enlarge, Qt::KeepAspectRatio, Qt::FastTransformation);
    const QString path = g_folder + QLatin1Char('/') + name + QStringLiteral(".png");
    if (!out.save(path, "PNG")) {
        std::fprintf(stderr, "controls_gallery: cannot write %s\n", qPrintable(path));
        ++g_failedWrites;
    }
}

// The main window's look: the background stretched over the client area.
class SkinPreview : public QWidget {
  public:
    explicit SkinPreview(const QImage& background) : background_(background) {}

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.drawImage(rect(), background_);
    }

  private:
    QImage background_;
};

void RenderHoverButtons() {
    QWidget dialog;
    dialog.setFont(controls::DialogFont());
    dialog.setAutoFillBackground(true);
    QPalette pal = dialog.palette();
    pal.setColor(QPalette::Window, QColor(247, 243, 247));
    dialog.setPalette(pal);
    dialog.resize(300, 200);
    const QSize base = controls::DialogBaseUnits(dialog.font());
    auto* button = new HoverButton(QStringLiteral("Rip"), &dialog);
    button->setGeometry(controls::DialogRectToPixels(QRect(10, 10, 50, 14), base));
    auto* exit = new HoverButton(QStringLiteral("Exit"), &dialog);
    exit->setGeometry(controls::DialogRectToPixels(QRect(70, 10, 50, 14), base));
    dialog.show();
    dialog.activateWindow();
    exit->setFocus();  // keeps the focus off the button being shown
    QApplication::processEvents();

    auto grab = [&](const char* name) {
        Write(button->grab().toImage(), QString::fromLatin1(name), 4);
    };
    grab("hover_normal");
    button->setFocus();
    QApplication::processEvents();
    grab("hover_focus");
    button->setDown(true);
    grab("hover_focus_pressed");
    button->setDown(false);
    exit->setFocus();
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(button, &enter);
    for (int i = 0; i < 100 && !button->IsHot(); ++i) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    grab("hover_hot");
    button->setDown(true);
    grab("hover_hot_pressed");
    button->setDown(false);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(button, &leave);
    button->setDefault(true);
    grab("hover_default");
    button->setDefault(false);
    button->setEnabled(false);
    grab("hover_disabled");
    Write(dialog.grab().toImage(), QStringLiteral("hover_in_dialog"), 2);
}

void RenderPercentBars() {
    QWidget dialog;
    dialog.setFont(controls::DialogFont());
    dialog.resize(300, 60);
    const QSize base = controls::DialogBaseUnits(dialog.font());
    auto* bar = new PercentBar(&dialog);
    bar->setGeometry(controls::DialogRectToPixels(QRect(7, 7, 180, 12), base));
    dialog.show();
    bar->Initialize();
    const platform::WindowHandle h = platform::WindowHandleOf(bar);
    const struct {
        unsigned pos;
        const char* name;
    } steps[] = {
        {0, "percent_0"}, {375, "percent_37_5"}, {1000, "percent_100"}, {1500, "percent_150"}};
    platform::SendMessage(h, core::PBX_SETRANGE, 1000);
    for (const auto& s : steps) {
        platform::SendMessage(h, core::PBX_SETPOS, s.pos);
        Write(bar->grab().toImage(), QString::fromLatin1(s.name), 3);
    }
}

void RenderArtwork() {
    using namespace controls;
    const int bitmaps[] = {136, 142, 144, 145, 147, 148, 149, 150, 152, 153, 155,
                           156, 157, 158, 159, 160, 161, 163, 164, 165, 166, 168};
    for (int id : bitmaps) {
        const QImage image = LoadSkinBitmap(id);
        Write(image, QStringLiteral("skin_%1").arg(id));
        if (image.width() < 100) Write(image, QStringLiteral("skin_%1_x6").arg(id), 6);
    }
    bool ok = false;
    const QCursor cursor = SkinCursor(&ok);
    if (ok) Write(cursor.pixmap().toImage(), QStringLiteral("cursor"), 6);
    const QIcon icon = AppIcon();
    Write(icon.pixmap(16, 16).toImage(), QStringLiteral("icon_16"), 8);
    Write(icon.pixmap(32, 32).toImage(), QStringLiteral("icon_32"), 6);
}

void RenderMainWindow() {
    using namespace controls;
    const WindowMetrics m = CurrentWindowMetrics();
    SkinPreview window(controls::LoadSkinBitmap(controls::kIdBackground));
    window.setFont(controls::DialogFont());
    window.resize(m.ClientSize());
    auto* list = new QTreeWidget(&window);
    list->setGeometry(m.ToClient(kTrackList));
    list->setHeaderLabels({QStringLiteral("No."), QStringLiteral("Track"), QStringLiteral("Time")});
    list->header()->resizeSection(0, 85);
    list->header()->resizeSection(1, 140);
    QPalette lp = list->palette();
    lp.setColor(QPalette::Base, QColor(247, 243, 247));
    list->setPalette(lp);
    list->setRootIsDecorated(false);
    for (int i = 1; i <= 9; ++i) {
        auto* row =
            new QTreeWidgetItem(list, {QString::number(i), QStringLiteral("Track %1").arg(i),
                                       QStringLiteral("0%1:%2").arg(i % 6).arg(10 + 3 * i)});
        row->setCheckState(0, Qt::Checked);
    }
    auto* slider = new QSlider(Qt::Horizontal, &window);
    slider->setGeometry(m.ToClient(kSeekSlider));
    slider->setRange(0, 100);
    slider->setValue(30);
    const struct {
        QRect rect;
        int normal, pressed;
    } buttons[] = {{kCloseButton, 142, 0},  {kMinimiseButton, 144, 0}, {kWebButton, 145, 0},
                   {kHelpButton, 147, 0},   {kRipButton, 149, 0},      {kOptionButton, 148, 0},
                   {kConvertButton, 150, 0}};
    for (const auto& b : buttons) {
        auto* button = new BitmapButton(&window);
        button->setGeometry(m.ToClient(b.rect));
        button->LoadBitmaps(b.normal, b.pressed, b.pressed, 0);
    }
    const int transports[7][2] = {{152, 153}, {155, 156}, {157, 158}, {159, 160},
                                  {161, 168}, {163, 164}, {165, 166}};
    for (int i = 0; i < 7; ++i) {
        auto* button = new BitmapButton(&window);
        button->setGeometry(
            m.ToClient(QRect(QPoint(kTransportLeft[i], kTransportTop), kTransportSize)));
        button->LoadBitmaps(transports[i][0], transports[i][1], transports[i][1], 0);
        if (i == 2) button->setDown(true);
    }
    window.show();
    QApplication::processEvents();
    Write(window.grab().toImage(), QStringLiteral("main_window"));
    Write(window.grab().toImage(), QStringLiteral("main_window_x2"), 2);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: controls_gallery OUTPUT_FOLDER\n");
        return 2;
    }
    g_folder = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(g_folder)) {
        std::fprintf(stderr, "controls_gallery: cannot make %s\n", qPrintable(g_folder));
        return 1;
    }
    RenderHoverButtons();
    RenderPercentBars();
    RenderArtwork();
    RenderMainWindow();
    return g_failedWrites == 0 ? 0 : 1;
}
