#include "app/MainWindow.h"

#include "app/ResultScrollArea.h"
#include "app/SettingsFile.h"
#include "app/SearchSettingsDialog.h"
#include "controls/WebView.h"
#include "controls/ImageCheckBox.h"
#include "controls/Glyphs.h"
#include "controls/GradientBox.h"
#include "controls/HistoryComboBox.h"
#include "controls/ClickableImage.h"
#include "net/HttpClient.h"
#include "net/UrlEncoder.h"
#include "platform/AppDir.h"
#include "platform/DesktopServices.h"
#include "platform/Fonts.h"
#include "platform/MessageService.h"
#include "search/SearchController.h"
#include "search/ServiceHost.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>

namespace {

const QString DesignCaption = QStringLiteral("ORVENA - Sorvel Browser");
constexpr QSize DesignSize(1024, 640);
constexpr int SlotHeightPixels = 120;
constexpr DesignColor StripGrey = designColor(226, 226, 226);
// The section of log_search.ini that holds the keyword history: every user's stored history is
// under this name, so it stays whatever the keyword box is called.
const QString HistorySection = QStringLiteral("HistoryComboBox1");

const QString MailSetupMessage = QStringLiteral(
    "お使いのメールソフトを「通常使うメールソフト(規定のプログラム)」に設定してくださ"
    "い.");

void SetTextColor(QWidget* widget, const QColor& color) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    widget->setPalette(palette);
}

void SetBackground(QWidget* widget, const QColor& color) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, color);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

// A background box as every one of the window has it: white to light grey, no outline, no
// caption.
GradientBox* MakeGradBox(QWidget* parent, const QString& name, GradientBox::Direction style) {
    auto* box = new GradientBox(parent);
    box->setObjectName(name);
    box->setStartColor(WhiteColor);
    box->setEndColor(StripGrey);
    box->setOutlineColor(WhiteColor);
    box->setDrawsOutline(false);
    box->setCaptionEffectEnabled(false);
    box->setCaptionDepth(0);
    box->setCaptionShadowColor(WhiteColor);
    box->setCaptionLeft(0);
    box->setCaptionTop(0);
    box->setDirection(style);
    return box;
}

// A flat button of the tool bar or a navigation bar.
QToolButton* MakeSpeedButton(QWidget* parent, const QString& name, const QRect& geometry,
                             const QString& hint) {
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setGeometry(geometry);
    button->setAutoRaise(true);
    button->setCursor(Qt::PointingHandCursor);
    button->setToolTip(hint);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

QFrame* MakeBevel(QWidget* parent, const QString& name, const QRect& geometry) {
    auto* bevel = new QFrame(parent);
    bevel->setObjectName(name);
    bevel->setFrameShape(QFrame::VLine);
    bevel->setFrameShadow(QFrame::Sunken);
    bevel->setGeometry(geometry);
    return bevel;
}

// The controls of a navigation bar are anchored to its top only: when the bar's width changes,
// each keeps its centre at the same fraction of the width as at design.
class KeepRelativePlace final : public QObject {
public:
    KeepRelativePlace(QWidget* bar, int designWidth)
        : QObject(bar)
        , m_designWidth(designWidth) {
        bar->installEventFilter(this);
    }

    void append(QWidget* control) { m_controls.append({control, control->geometry()}); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Resize) {
            const int width = static_cast<QWidget*>(watched)->width();
            for (const auto& [control, design] : std::as_const(m_controls)) {
                const int centre = (design.x() + design.width() / 2) * width / m_designWidth;
                control->move(centre - design.width() / 2, design.y());
            }
        }
        return false;
    }

private:
    int m_designWidth;
    QList<std::pair<QWidget*, QRect>> m_controls;
};

// Runs a handler of the window as an entry point from Qt.
template <class F> auto Command(F handler) {
    return [handler] { runCommand(handler); };
}

} // namespace

TBrowserPaneFactory DefaultBrowserPane() {
    return BrowserPaneOf<WebView>();
}

TMainFormOptions::TMainFormOptions()
    : ServiceHost(::ServiceHost)
    , SettingsFilePath(SettingsFile::DefaultPath())
    , CreateBrowserPane(DefaultBrowserPane()) {}

TMainForm1::TMainForm1(const TMainFormOptions& options, QWidget* parent)
    : QMainWindow(parent)
    , NMHTTP1(std::make_unique<HttpClient>())
    , NMURL1(std::make_unique<UrlEncoder>())
    , m_options(options) {
    if (!m_options.CreateBrowserPane)
        m_options.CreateBrowserPane = DefaultBrowserPane();
    m_client = std::make_unique<SearchController>(*this, *NMHTTP1, *NMURL1, m_options.ServiceHost);
    // The first activation applies the stored count; until then (a window manager that does
    // not activate the new window) a load must still find a count it can divide by.
    m_client->settings.resultsPerPage = SlotCount;

    // The stored layout.
    setObjectName(QStringLiteral("MainForm1"));
    setWindowTitle(DesignCaption);
    setFont(designFont(12));
    resize(DesignSize);
    CreateMenu();
    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    CreateToolBar();
    CreatePageControl();
    column->addWidget(Panel0);
    column->addWidget(PageControl1, 1);
    setCentralWidget(central);
    CreateStatusBar();
    ConnectCommands();
    // The layout is applied: the keyword box loads its history.
    HistoryComboBox1->restoreHistory();

    m_hint = windowTitle();
    ScrollBox1->SetRange(0);
    m_browserPane->navigate(topPageUrl(m_options.ServiceHost));

    for (int k = 1; k <= SlotCount; ++k)
        SlotPanels.append(findChild<QWidget*>(QStringLiteral("Panel1_%1").arg(k)));
    for (int k = 1; k <= SlotCount; ++k)
        SlotCheckBoxes.append(findChild<ImageCheckBox*>(QStringLiteral("CheckBox1_%1").arg(k)));
    for (int k = 1; k <= SlotCount; ++k)
        SlotImages.append(findChild<ClickableImage*>(QStringLiteral("Image1_%1").arg(k)));
    for (int k = 1; k <= SlotCount; ++k)
        SlotLabels.append(findChild<QLabel*>(QStringLiteral("Label1_%1").arg(k)));
    for (int k = 1; k <= SlotCount; ++k)
        SlotGradBoxes.append(findChild<GradientBox*>(QStringLiteral("GradBox1_%1").arg(k)));
}

TMainForm1::~TMainForm1() {
    FormDestroy();
}

void TMainForm1::FormDestroy() {
    SlotPanels.clear();
    SlotCheckBoxes.clear();
    SlotImages.clear();
    SlotLabels.clear();
    SlotGradBoxes.clear();
}

// --- layout ---------------------------------------------------------------------------------

void TMainForm1::CreateMenu() {
    MainMenu1 = menuBar();
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
    const auto menu = [this](const char* name, const char* caption) {
        QMenu* result = MainMenu1->addMenu(QString::fromUtf8(caption));
        result->setObjectName(QString::fromLatin1(name));
        return result;
    };
    const auto item = [](QMenu* parent, const char* name, const char* caption) {
        QAction* action = parent->addAction(QString::fromUtf8(caption));
        action->setObjectName(QString::fromLatin1(name));
        return action;
    };
    const auto separator = [](QMenu* parent, const char* name) {
        QAction* action = parent->addSeparator();
        action->setObjectName(QString::fromLatin1(name));
        return action;
    };

    W0 = menu("W0", "ウェブ(&W)");
    W1 = item(W0, "W1", "参照中のページを規定のブラウザで開く(&B)");
    W2 = item(W0, "W2", "参照中のページをメールで送る(&M)");
    W1->setEnabled(false);
    W2->setEnabled(false);

    V0 = menu("V0", "表示(&V)");
    V1 = item(V0, "V1", "ツールバー(&T)");
    V2 = item(V0, "V2", "ステータスバー(&S)");
    for (QAction* action : {V1, V2}) {
        action->setCheckable(true);
        action->setChecked(true);
    }

    S0 = menu("S0", "検索(&S)");
    S1 = item(S0, "S1", "検索(&S)");
    S1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    N1 = separator(S0, "N1");
    S2 = item(S0, "S2", "検索設定(&O)...");
    N7 = separator(S0, "N7");
    S3 = item(S0, "S3", "検索履歴を消去(&D)");

    H0 = menu("H0", "ヘルプ(&H)");
    H1 = item(H0, "H1", "トップページ(&T)");
    N2 = separator(H0, "N2");
    H3 = item(H0, "H3", "ORVENAのWEBサイト(&L)...");
    N3 = separator(H0, "N3");
    H4 = item(H0, "H4", "ソフトウェア情報(&V)...");
}

void TMainForm1::CreateToolBar() {
    Panel0 = new QFrame(this);
    Panel0->setObjectName(QStringLiteral("Panel0"));
    Panel0->setFrameShape(QFrame::Panel);
    Panel0->setFrameShadow(QFrame::Raised);
    Panel0->setLineWidth(1);
    Panel0->setFixedHeight(36);
    // The tool bar paints its own light gradient: what stands on it keeps the design's colours.
    Panel0->setPalette(designPalette());
    auto* fill = new QHBoxLayout(Panel0);
    fill->setContentsMargins(0, 0, 0, 0);
    GradBox2 = MakeGradBox(Panel0, QStringLiteral("GradBox2"), GradientBox::Direction::TopToBottom);
    fill->addWidget(GradBox2);

    const QFont large = designFont(16);
    HistoryComboBox1 = new HistoryComboBox(Panel0);
    HistoryComboBox1->setObjectName(QStringLiteral("HistoryComboBox1"));
    HistoryComboBox1->setGeometry(8, 6, 274, 24);
    HistoryComboBox1->setFont(large);
    HistoryComboBox1->setMaxVisibleItems(30);
    HistoryComboBox1->setMaxLength(45);
    HistoryComboBox1->setToolTip(QStringLiteral("動画の検索キーワード"));
    HistoryComboBox1->setSaveFileName(m_options.HistoryFileName);
    HistoryComboBox1->setSaveSectionName(HistorySection);

    SpeedButton0_1 = MakeSpeedButton(Panel0, QStringLiteral("SpeedButton0_1"), {284, 6, 70, 24},
                                     QStringLiteral("動画の検索"));
    SpeedButton0_1->setText(QStringLiteral("検索"));
    Bevel1 = MakeBevel(Panel0, QStringLiteral("Bevel1"), {358, 6, 4, 24});
    SpeedButton0_4 = MakeSpeedButton(Panel0, QStringLiteral("SpeedButton0_4"), {366, 6, 80, 24},
                                     QStringLiteral("動画の検索設定"));
    SpeedButton0_4->setText(QStringLiteral("検索設定"));
    Bevel2 = MakeBevel(Panel0, QStringLiteral("Bevel2"), {450, 6, 4, 24});
    SpeedButton0_6 = MakeSpeedButton(Panel0, QStringLiteral("SpeedButton0_6"), {458, 6, 100, 24},
                                     QStringLiteral("トップページの参照"));
    SpeedButton0_6->setText(QStringLiteral("トップページ"));
    for (QToolButton* button : {SpeedButton0_1, SpeedButton0_4, SpeedButton0_6})
        button->setFont(large);
}

void TMainForm1::CreateStatusBar() {
    StatusBar0 = new QStatusBar(this);
    StatusBar0->setObjectName(QStringLiteral("StatusBar0"));
    StatusBar0->setFixedHeight(19);
    static constexpr int widths[] = {150, 130, 84, 100};
    for (int i = 0; i < 4; ++i) {
        auto* panel = new QLabel(StatusBar0);
        panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        panel->setFrameShape(QFrame::Panel);
        panel->setFrameShadow(QFrame::Sunken);
        panel->setAlignment((i < 3 ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignVCenter);
        panel->setMinimumWidth(widths[i]);
        if (i < 3)
            panel->setMaximumWidth(widths[i]);
        // The last panel reaches to the bar's right end.
        StatusBar0->addWidget(panel, i < 3 ? 0 : 1);
        StatusPanels.append(panel);
    }
    setStatusBar(StatusBar0);
}

void TMainForm1::CreatePageControl() {
    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setTabPosition(QTabWidget::West);
    // The tab takes its ground from the desktop's theme, and so its text colour too (black
    // under a light theme, as designed).
    PageControl1->tabBar()->setFont(designFont(16, true));

    TabSheet1 = new QWidget;
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    TabSheet1->setFont(designFont(12));
    PageControl1->addTab(TabSheet1, QStringLiteral("  動画検索  "));
    auto* fill = new QHBoxLayout(TabSheet1);
    fill->setContentsMargins(0, 0, 0, 0);

    Splitter1 = new QSplitter(Qt::Horizontal, TabSheet1);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setHandleWidth(3);
    Splitter1->setChildrenCollapsible(false);
    fill->addWidget(Splitter1);

    CreateResultColumn();
    Splitter1->addWidget(Panel1);

    const TBrowserPaneParts pane = m_options.CreateBrowserPane(Splitter1, &m_entryPoints, [this] {
        runCommand([this] { m_client->handleNavigationFinished(); });
    });
    WebBrowser1 = pane.Widget;
    m_browserPane = pane.Pane;
    WebBrowser1->setObjectName(QStringLiteral("WebBrowser1"));
    Splitter1->addWidget(WebBrowser1);
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({255, 720});
}

QFrame* TMainForm1::CreateNavigationBar(int digit) {
    auto* bar = new QFrame(Panel1);
    bar->setObjectName(QStringLiteral("Panel%1").arg(digit));
    bar->setFrameShape(QFrame::Panel);
    bar->setFrameShadow(QFrame::Raised);
    bar->setFixedHeight(26);

    const auto name = [digit](const char* kind, int index) {
        return QStringLiteral("%1%2_%3").arg(QLatin1String(kind)).arg(digit).arg(index);
    };
    const struct {
        int index;
        QRect geometry;
        const char* hint;
        const QString& glyph;
    } buttons[] = {
        {1, {20, 2, 24, 24}, "最初のページ", FirstPageGlyph},
        {2, {44, 2, 32, 24}, "前のページ", PreviousPageGlyph},
        {3, {176, 2, 32, 24}, "次のページ", NextPageGlyph},
        {4, {208, 2, 24, 24}, "最後のページ", LastPageGlyph},
    };
    QToolButton* made[4] = {};
    for (const auto& b : buttons) {
        QToolButton* button = MakeSpeedButton(bar, name("SpeedButton", b.index), b.geometry,
                                              QString::fromUtf8(b.hint));
        button->setIcon(loadGlyphIcon(b.glyph));
        button->setIconSize(QSize(16, 16));
        button->setEnabled(false);
        made[b.index - 1] = button;
    }
    auto* label = new QLabel(QStringLiteral("ページ 0/0"), bar);
    label->setObjectName(name("Label", 1));
    label->setGeometry(76, 2, 100, 24);
    label->setAlignment(Qt::AlignCenter);

    auto* anchors = new KeepRelativePlace(bar, 255);
    for (QWidget* control : {static_cast<QWidget*>(made[0]), static_cast<QWidget*>(made[1]),
                             static_cast<QWidget*>(label), static_cast<QWidget*>(made[2]),
                             static_cast<QWidget*>(made[3])})
        anchors->append(control);

    if (digit == 2) {
        SpeedButton2_1 = made[0];
        SpeedButton2_2 = made[1];
        SpeedButton2_3 = made[2];
        SpeedButton2_4 = made[3];
        Label2_1 = label;
    } else {
        SpeedButton3_1 = made[0];
        SpeedButton3_2 = made[1];
        SpeedButton3_3 = made[2];
        SpeedButton3_4 = made[3];
        Label3_1 = label;
    }
    return bar;
}

void TMainForm1::CreateResultColumn() {
    Panel1 = new QFrame;
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameShape(QFrame::NoFrame);
    auto* column = new QVBoxLayout(Panel1);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    Panel2 = CreateNavigationBar(2);

    ScrollBox1 = new TScrollBox(Panel1);
    ScrollBox1->setObjectName(QStringLiteral("ScrollBox1"));
    // The column is white with light grey strips under any theme; its slots draw as designed.
    ScrollBox1->viewport()->setPalette(designPalette());
    SetBackground(ScrollBox1->viewport(), Qt::white);
    SetBackground(ScrollBox1->Content(), Qt::white);
    GradBox0_1 =
        MakeGradBox(ScrollBox1->Content(), QStringLiteral("GradBox0_1"), GradientBox::Direction::RightToLeft);
    GradBox1 =
        MakeGradBox(ScrollBox1->Content(), QStringLiteral("GradBox1"), GradientBox::Direction::LeftToRight);
    for (int k = 1; k <= SlotCount; ++k)
        CreateSlot(k);
    ScrollBox1->OnContentResize = [this] { LayoutResultColumn(); };

    Panel3 = CreateNavigationBar(3);
    column->addWidget(Panel2);
    column->addWidget(ScrollBox1, 1);
    column->addWidget(Panel3);
    Panel1->resize(255, Panel1->height());
    LayoutResultColumn();
}

void TMainForm1::CreateSlot(int k) {
    const auto name = [k](const char* kind) {
        return QStringLiteral("%1_%2").arg(QLatin1String(kind)).arg(k);
    };
    auto* panel = new QFrame(ScrollBox1->Content());
    panel->setObjectName(name("Panel1"));
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Raised);
    panel->setLineWidth(1);
    SetBackground(panel, Qt::white);
    panel->setGeometry(0, SlotHeightPixels * (k - 1), 234, SlotHeightPixels);

    // Created from the lowest to the topmost: strip, picture, label, check box.
    GradientBox* strip = MakeGradBox(panel, name("GradBox1"), GradientBox::Direction::TopToBottom);
    strip->setGeometry(1, 99, 232, 20);

    auto* image = new ClickableImage(panel);
    image->setObjectName(name("Image1"));
    image->setGeometry(8, 22, 120, 90);
    image->setCursor(Qt::PointingHandCursor);

    auto* label = new QLabel(QStringLiteral("-"), panel);
    label->setObjectName(name("Label1"));
    label->setGeometry(136, 28, 90, 60);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setFont(designFont(12));
    SetTextColor(label, toQColor(GrayColor, label->palette()));

    auto* checkBox = new ImageCheckBox(panel);
    checkBox->setObjectName(name("CheckBox1"));
    checkBox->move(4, 4);
    checkBox->setFont(designFont(12, true));
    SetTextColor(checkBox, Qt::black);
    checkBox->setCursor(Qt::PointingHandCursor);
    checkBox->setChecked(false);
    checkBox->setGroupIndex(0);
    checkBox->setBoxStyle(1);
    checkBox->setCaptionSide(ImageCheckBox::CaptionSide::Right);
    checkBox->setAutoSize(true);
    checkBox->fitToContent();

    panel->hide();
    connect(image, &ClickableImage::clicked, &m_entryPoints, Command([this, k] { m_client->openResult(k); }));
}

// The column's children follow the content's size: the strips stand at its left and right
// edges over its whole height, the slots reach to its right edge.
void TMainForm1::LayoutResultColumn() {
    const QWidget* content = ScrollBox1->Content();
    const int width = content->width();
    const int height = content->height();
    GradBox0_1->setGeometry(0, 0, 80, height);
    GradBox1->setGeometry(width - 80, 0, 80, height);
    for (int k = 1; k <= SlotCount; ++k) {
        auto* panel = content->findChild<QWidget*>(QStringLiteral("Panel1_%1").arg(k),
                                                   Qt::FindDirectChildrenOnly);
        panel->resize(width, SlotHeightPixels);
        panel->findChild<QLabel*>()->resize(width - 144, 60);
        panel->findChild<GradientBox*>()->resize(width - 2, 20);
    }
}

// --- wiring ---------------------------------------------------------------------------------

void TMainForm1::ConnectCommands() {
    SearchController* client = m_client.get();
    const auto search = Command([client] { client->search(); });
    connect(SpeedButton0_1, &QToolButton::clicked, &m_entryPoints, search);
    connect(S1, &QAction::triggered, &m_entryPoints, search);
    // Direct: the filter may consume or change the key before the box handles it.
    connect(HistoryComboBox1, &HistoryComboBox::keyTyped, &m_entryPoints, [client](QChar& key) {
        runCommand([client, &key] { client->filterKeywordKey(key); });
    }, Qt::DirectConnection);

    const auto settings = Command([this] { SpeedButton0_4Click(); });
    connect(SpeedButton0_4, &QToolButton::clicked, &m_entryPoints, settings);
    connect(S2, &QAction::triggered, &m_entryPoints, settings);
    const auto topPage = Command([this] { SpeedButton0_6Click(); });
    connect(SpeedButton0_6, &QToolButton::clicked, &m_entryPoints, topPage);
    connect(H1, &QAction::triggered, &m_entryPoints, topPage);

    const std::pair<QToolButton*, std::function<void()>> paging[] = {
        {SpeedButton2_1, [client] { client->showFirstPage(); }},
        {SpeedButton2_2, [client] { client->showPreviousPage(); }},
        {SpeedButton2_3, [client] { client->showNextPage(); }},
        {SpeedButton2_4, [client] { client->showLastPage(); }},
        {SpeedButton3_1, [client] { client->showFirstPage(); }},
        {SpeedButton3_2, [client] { client->showPreviousPage(); }},
        {SpeedButton3_3, [client] { client->showNextPage(); }},
        {SpeedButton3_4, [client] { client->showLastPage(); }},
    };
    for (const auto& [button, handler] : paging)
        connect(button, &QToolButton::clicked, &m_entryPoints, Command(handler));

    connect(W1, &QAction::triggered, &m_entryPoints, Command([this] { W1Click(); }));
    connect(W2, &QAction::triggered, &m_entryPoints, Command([this] { W2Click(); }));
    connect(V1, &QAction::triggered, &m_entryPoints, Command([this] { V1Click(); }));
    connect(V2, &QAction::triggered, &m_entryPoints, Command([this] { V2Click(); }));
    connect(S3, &QAction::triggered, &m_entryPoints, Command([this] { S3Click(); }));
    connect(H3, &QAction::triggered, &m_entryPoints, Command([this] { H3Click(); }));
    connect(H4, &QAction::triggered, &m_entryPoints, Command([this] { H4Click(); }));
}

// --- window events --------------------------------------------------------------------------

bool TMainForm1::event(QEvent* event) {
    const bool result = QMainWindow::event(event);
    if (event->type() == QEvent::WindowActivate)
        runCommand([this] { FormActivate(); });
    return result;
}

void TMainForm1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (m_shown)
        return;
    m_shown = true;
    CentreAtDesignSize();
}

// The design size is the outer size, centred on the screen. A window manager may tell the
// frame only after the window is shown, so the first activation does this once more.
void TMainForm1::CentreAtDesignSize() {
    const QWindow* window = windowHandle();
    const QMargins frame = window ? window->frameMargins() : QMargins();
    m_placedSize = QSize(DesignSize.width() - frame.left() - frame.right(),
                         DesignSize.height() - frame.top() - frame.bottom());
    resize(m_placedSize);
    if (const QScreen* screen = this->screen()) {
        const QRect area = screen->geometry();
        move(area.x() + (area.width() - DesignSize.width()) / 2,
             area.y() + (area.height() - DesignSize.height()) / 2);
    }
}

// Every close ends the run. A settings file that cannot be written is reported once and does
// not keep the window open: the history is saved all the same when the window goes. A page load
// still waiting for the network is ended, so that the process does not outlive its window.
void TMainForm1::closeEvent(QCloseEvent* event) {
    runCommand([this] { FormClose(); });
    m_client->stopLoading();
    event->accept();
}

void TMainForm1::FormActivate() {
    if (Tag != 0 || !SettingForm1)
        return;
    if (size() == m_placedSize && frameGeometry().size() != DesignSize)
        CentreAtDesignSize();
    SettingsFile::Load(m_options.SettingsFilePath, *this, *SettingForm1, m_client->settings);
    SpeedButton0_4Click();
    Tag = 1;
}

void TMainForm1::FormClose() {
    if (!SettingForm1)
        return;
    // A close before the first activation (a signal at start-up, a window manager that never
    // activates the window) reads the file first, so that the save keeps what is stored instead
    // of writing the window's defaults over it.
    if (Tag == 0) {
        SettingsFile::Load(m_options.SettingsFilePath, *this, *SettingForm1,
                           m_client->settings);
        Tag = 1;
    }
    SettingsFile::Save(m_options.SettingsFilePath, *this, *SettingForm1, m_client->settings);
}

// --- commands -------------------------------------------------------------------------------

void TMainForm1::SpeedButton0_4Click() {
    if (!SettingForm1)
        return;
    int result = QDialog::Rejected;
    if (Tag == 1)
        result = SettingForm1->exec();
    if (result != QDialog::Accepted && Tag != 0)
        return;
    SearchSettings& settings = m_client->settings;
    SettingForm1->ApplyTo(settings);
    // The count box without a selection (a first start, a stored index outside the list)
    // leaves no usable count: the column then shows as many as it has slots.
    if (settings.resultsPerPage != 5 && settings.resultsPerPage != 10 &&
        settings.resultsPerPage != 20)
        settings.resultsPerPage = SlotCount;
    m_client->search();
}

void TMainForm1::SpeedButton0_6Click() {
    m_browserPane->navigate(topPageUrl(m_options.ServiceHost) + QStringLiteral("?ret=1"));
}

void TMainForm1::W1Click() {
    const QString location = m_browserPane->locationUrl();
    if (isWebAddress(location))
        desktopServices().openUrl(location);
}

void TMainForm1::W2Click() {
    const QString location = m_browserPane->locationUrl();
    if (!isWebAddress(location))
        return;
    if (desktopServices().composeMail(m_browserPane->resultTitle(), location) != 0)
        messageService().showInformation(MailSetupMessage);
}

// The menu has already inverted the tick when these run.
void TMainForm1::V1Click() {
    Panel0->setVisible(V1->isChecked());
}

void TMainForm1::V2Click() {
    StatusBar0->setVisible(V2->isChecked());
}

void TMainForm1::S3Click() {
    HistoryComboBox1->clearHistory();
}

void TMainForm1::H3Click() {
    desktopServices().openUrl(makerSiteUrl(m_options.ServiceHost));
}

void TMainForm1::H4Click() {
    desktopServices().openUrl(softwareInfoUrl(m_options.ServiceHost) + programBaseName());
}

// --- the search client's view ---------------------------------------------------------------

QString TMainForm1::keywordText() const {
    return HistoryComboBox1->currentText();
}

void TMainForm1::setKeywordText(const QString& text) {
    HistoryComboBox1->setEditText(text);
}

void TMainForm1::addKeywordToHistory() {
    HistoryComboBox1->addToHistory();
}

void TMainForm1::setSearchControlsEnabled(bool enabled) {
    S1->setEnabled(enabled);
    SpeedButton0_1->setEnabled(enabled);
    S2->setEnabled(enabled);
    SpeedButton0_4->setEnabled(enabled);
}

bool TMainForm1::isSearchEnabled() const {
    return S1->isEnabled();
}

void TMainForm1::setPagingButtonsEnabled(bool firstAndPrevious, bool nextAndLast) {
    for (QToolButton* button : {SpeedButton2_1, SpeedButton2_2, SpeedButton3_1, SpeedButton3_2})
        button->setEnabled(firstAndPrevious);
    for (QToolButton* button : {SpeedButton2_3, SpeedButton2_4, SpeedButton3_3, SpeedButton3_4})
        button->setEnabled(nextAndLast);
}

void TMainForm1::resetResultColumn() {
    ScrollBox1->verticalScrollBar()->setValue(0);
    for (QWidget* panel : SlotPanels)
        panel->hide();
}

void TMainForm1::setResultScrollRange(int pixels) {
    ScrollBox1->SetRange(pixels);
}

int TMainForm1::slotHeight() const {
    return SlotPanels.front()->height();
}

ResultSlot TMainForm1::resultSlot(int index) const {
    return {SlotPanels[index], SlotGradBoxes[index], SlotImages[index], SlotLabels[index],
            SlotCheckBoxes[index]};
}

void TMainForm1::setCaption(const QString& caption) {
    setWindowTitle(caption);
}

void TMainForm1::setPageLabels(const QString& text) {
    Label2_1->setText(text);
    Label3_1->setText(text);
}

void TMainForm1::setStatusText(int panel, const QString& text) {
    if (panel >= 0 && panel < StatusPanels.size())
        StatusPanels[panel]->setText(text);
}

void TMainForm1::enableWebCommands() {
    W1->setEnabled(true);
    W2->setEnabled(true);
}
