#include "app/MainWindow.h"

#include "app/PaneFullScreen.h"
#include "app/ResultScrollArea.h"
#include "app/SearchSettingsDialog.h"
#include "app/SettingsFile.h"
#include "app/Version.h"
#include "controls/ClickableImage.h"
#include "controls/Glyphs.h"
#include "controls/GradientBox.h"
#include "controls/HistoryComboBox.h"
#include "controls/ImageCheckBox.h"
#include "controls/WebView.h"
#include "net/HttpClient.h"
#include "net/ProxyRules.h"
#include "net/UrlEncoder.h"
#include "platform/AppDir.h"
#include "platform/DesktopServices.h"
#include "platform/ExternalPlayer.h"
#include "platform/Fonts.h"
#include "platform/MessageService.h"
#include "search/SearchController.h"
#include "search/ServiceHost.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>

#include <concepts>
#include <utility>

namespace {

const QString DesignCaption = QStringLiteral("ORVENA - Sorvel Browser");
constexpr QSize DesignSize(1024, 640);
constexpr int SlotHeightPixels = 120;
constexpr DesignColor StripGrey = designColor(226, 226, 226);
// The section of log_search.ini that holds the keyword history: every user's stored history is
// under this name, so it stays whatever the keyword box is called.
const QString HistorySection = QStringLiteral("HistoryComboBox1");
const QString HistoryFileName = QStringLiteral("log_search.ini");

const QString MailSetupMessage = QStringLiteral(
    "お使いのメールソフトを「通常使うメールソフト(規定のプログラム)」に設定してくださ"
    "い.");

// Hands a link to the desktop's mail program; says how to set one up when none takes it.
void mailLink(const QString& subject, const QString& address) {
    if (desktopServices().composeMail(subject, address) != 0)
        messageService().showInformation(MailSetupMessage);
}

void setTextColor(QWidget* widget, const QColor& color) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    widget->setPalette(palette);
}

void setBackground(QWidget* widget, const QColor& color) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, color);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

// A background box as every one of the window has it: white to light grey, and (as a box is
// made) no outline and no caption.
GradientBox* makeBackground(QWidget* parent, const QString& name,
                            GradientBox::Direction direction) {
    auto* box = new GradientBox(parent);
    box->setObjectName(name);
    box->setStartColor(WhiteColor);
    box->setEndColor(StripGrey);
    box->setDirection(direction);
    return box;
}

// A flat button of the tool bar or a navigation bar.
QToolButton* makeToolButton(QWidget* parent, const QString& name, const QRect& geometry,
                            const QString& hint) {
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setGeometry(geometry);
    button->setAutoRaise(true);
    button->setCursor(Qt::PointingHandCursor);
    button->setToolTip(hint);
    // What a screen reader says for it: a navigation button shows a glyph only.
    button->setAccessibleName(hint);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

// A button that stands for a command of the menu: a click triggers the action, and the button is
// enabled while the action is. It keeps its own text, hint and accessible name.
void followAction(QToolButton* button, QAction* action) {
    button->setEnabled(action->isEnabled());
    QObject::connect(button, &QToolButton::clicked, action, &QAction::trigger);
    QObject::connect(action, &QAction::enabledChanged, button, &QWidget::setEnabled);
}

// A sunken vertical line between groups of tool buttons.
QFrame* makeSeparator(QWidget* parent, const QString& name, const QRect& geometry) {
    auto* line = new QFrame(parent);
    line->setObjectName(name);
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setGeometry(geometry);
    return line;
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

// A command of the window as an entry point from Qt: what it raises goes to the error box. The
// handler gets the arguments of the signal that it takes (Qt calls it with as many as it takes).
template <class F> class Command {
public:
    explicit Command(F handler)
        : m_handler(std::move(handler)) {}

    template <class... Arguments>
    requires std::invocable<const F&, Arguments...>
    void operator()(Arguments&&... arguments) const {
        runCommand([&] { m_handler(std::forward<Arguments>(arguments)...); });
    }

private:
    F m_handler;
};

template <class F> Command<F> command(F handler) {
    return Command<F>(std::move(handler));
}

} // namespace

BrowserPaneFactory defaultBrowserPane() {
    return [](QWidget* parent, QObject* receiver, BrowserPaneHandlers handlers) {
        // Before the engine starts with the first pane: it takes the same proxies as the rest.
        passProxiesToWebEngine(ProxyRules::fromEnvironment());
        return browserPaneOf<WebView>()(parent, receiver, std::move(handlers));
    };
}

MainWindowOptions::MainWindowOptions()
    : serviceHost(ServiceHost)
    , settingsFilePath(SettingsFile::defaultPath())
    , historyFileName(configFilePath(HistoryFileName))
    , createBrowserPane(defaultBrowserPane()) {}

MainWindow::MainWindow(const MainWindowOptions& options, QWidget* parent)
    : QMainWindow(parent)
    , m_options(options)
    , m_http(std::make_unique<HttpClient>())
    , m_urlEncoder(std::make_unique<UrlEncoder>()) {
    if (!m_options.createBrowserPane)
        m_options.createBrowserPane = defaultBrowserPane();
    m_controller =
        std::make_unique<SearchController>(*this, *m_http, *m_urlEncoder, m_options.serviceHost);
    // The first activation applies the stored count; until then (a window manager that does
    // not activate the new window) a load must still find a count it can divide by.
    m_controller->settings.resultsPerPage = SlotCount;

    // The stored layout.
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(DesignCaption);
    setFont(designFont(12));
    resize(DesignSize);
    createMenus();
    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    createToolBar();
    QTabWidget* pages = createPages();
    column->addWidget(m_toolBar);
    column->addWidget(pages, 1);
    setCentralWidget(central);
    createStatusBar();
    connectCommands();
    // The layout is applied: the keyword box loads its history.
    m_keywordBox->restoreHistory();

    m_baseCaption = windowTitle();
    m_resultArea->setRange(0);
    m_browserPaneInterface->navigate(topPageUrl(m_options.serviceHost));
}

MainWindow::~MainWindow() = default;

// --- layout ---------------------------------------------------------------------------------

void MainWindow::createMenus() {
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("menuBar"));
    const auto menu = [bar](const char* name, const char* caption) {
        QMenu* result = bar->addMenu(QString::fromUtf8(caption));
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
    };

    QMenu* web = menu("webMenu", "ウェブ(&W)");
    m_openInBrowserAction =
        item(web, "openInBrowserAction", "参照中のページを規定のブラウザで開く(&B)");
    m_mailLinkAction = item(web, "mailLinkAction", "参照中のページをメールで送る(&M)");
    m_openInBrowserAction->setEnabled(false);
    m_mailLinkAction->setEnabled(false);
    m_copyPageAddressAction =
        item(web, "copyPageAddressAction", "参照中のページのアドレスをコピー(&C)");
    m_copyPageAddressAction->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
    m_copyPageAddressAction->setEnabled(false);
    separator(web, "quitSeparator");
    m_quitAction = item(web, "quitAction", "終了(&X)");
    m_quitAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

    QMenu* view = menu("viewMenu", "表示(&V)");
    m_showToolBarAction = item(view, "showToolBarAction", "ツールバー(&T)");
    m_showStatusBarAction = item(view, "showStatusBarAction", "ステータスバー(&S)");
    for (QAction* action : {m_showToolBarAction, m_showStatusBarAction}) {
        action->setCheckable(true);
        action->setChecked(true);
    }
    separator(view, "paneHistorySeparator");
    m_backAction = item(view, "backAction", "戻る(&B)");
    m_backAction->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Left));
    m_forwardAction = item(view, "forwardAction", "進む(&F)");
    m_forwardAction->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Right));
    m_backAction->setEnabled(false);
    m_forwardAction->setEnabled(false);
    m_reloadAction = item(view, "reloadAction", "最新の情報に更新(&R)");
    m_reloadAction->setShortcuts({QKeySequence(Qt::Key_F5), QKeySequence(Qt::CTRL | Qt::Key_R)});
    separator(view, "fullScreenSeparator");
    m_fullScreenAction = item(view, "fullScreenAction", "全画面表示(&U)");
    m_fullScreenAction->setShortcut(QKeySequence(Qt::Key_F11));
    m_fullScreenAction->setCheckable(true);

    QMenu* search = menu("searchMenu", "検索(&S)");
    m_searchAction = item(search, "searchAction", "検索(&S)");
    m_searchAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    m_stopAction = item(search, "stopAction", "中止(&T)");
    m_stopAction->setShortcut(QKeySequence(Qt::Key_Escape));
    m_stopAction->setEnabled(false);
    separator(search, "searchSettingsSeparator");
    m_searchSettingsAction = item(search, "searchSettingsAction", "検索設定(&O)...");
    separator(search, "clearHistorySeparator");
    m_clearHistoryAction = item(search, "clearHistoryAction", "検索履歴を消去(&D)");
    separator(search, "focusKeywordSeparator");
    m_focusKeywordAction = item(search, "focusKeywordAction", "キーワード入力欄へ移動(&K)");
    m_focusKeywordAction->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_L), QKeySequence(Qt::Key_F6)});
    separator(search, "pagingSeparator");
    m_firstPageAction = item(search, "firstPageAction", "最初のページ(&F)");
    m_firstPageAction->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Home));
    m_previousPageAction = item(search, "previousPageAction", "前のページ(&P)");
    m_previousPageAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_PageUp));
    m_nextPageAction = item(search, "nextPageAction", "次のページ(&N)");
    m_nextPageAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_PageDown));
    m_lastPageAction = item(search, "lastPageAction", "最後のページ(&L)");
    m_lastPageAction->setShortcut(QKeySequence(Qt::ALT | Qt::Key_End));
    for (QAction* action :
         {m_firstPageAction, m_previousPageAction, m_nextPageAction, m_lastPageAction})
        action->setEnabled(false);

    QMenu* help = menu("helpMenu", "ヘルプ(&H)");
    m_topPageAction = item(help, "topPageAction", "トップページ(&T)");
    separator(help, "makerSiteSeparator");
    m_makerSiteAction = item(help, "makerSiteAction", "ORVENAのWEBサイト(&L)...");
    separator(help, "softwareInfoSeparator");
    m_softwareInfoAction = item(help, "softwareInfoAction", "ソフトウェア情報(&V)...");
    m_aboutAction = item(help, "aboutAction", "バージョン情報(&A)...");

    // The pane's commands work in full screen too, where the menu bar is hidden.
    addActions({m_copyPageAddressAction, m_backAction, m_forwardAction, m_reloadAction,
                m_fullScreenAction, m_focusKeywordAction, m_quitAction});
    createResultMenu();
}

void MainWindow::createResultMenu() {
    m_resultMenu = new QMenu(this);
    m_resultMenu->setObjectName(QStringLiteral("resultMenu"));
    const auto item = [this](const char* name, const char* caption) {
        QAction* action = m_resultMenu->addAction(QString::fromUtf8(caption));
        action->setObjectName(QString::fromLatin1(name));
        return action;
    };
    m_openResultAction = item("openResultAction", "開く(&O)");
    m_openResultInBrowserAction = item("openResultInBrowserAction", "既定のブラウザで開く(&B)");
    m_copyResultLinkAction = item("copyResultLinkAction", "リンクをコピー(&C)");
    m_playResultAction = item("playResultAction", "外部プレーヤーで開く(&P)");
    m_mailResultAction = item("mailResultAction", "メールで送る(&M)");
    m_resultMenu->setDefaultAction(m_openResultAction);
}

void MainWindow::createToolBar() {
    m_toolBar = new QFrame(this);
    m_toolBar->setObjectName(QStringLiteral("toolBar"));
    m_toolBar->setFrameShape(QFrame::Panel);
    m_toolBar->setFrameShadow(QFrame::Raised);
    m_toolBar->setLineWidth(1);
    m_toolBar->setFixedHeight(36);
    // The tool bar paints its own light gradient: what stands on it keeps the design's colours.
    m_toolBar->setPalette(designPalette());
    auto* fill = new QHBoxLayout(m_toolBar);
    fill->setContentsMargins(0, 0, 0, 0);
    fill->addWidget(makeBackground(m_toolBar, QStringLiteral("toolBarBackground"),
                                   GradientBox::Direction::TopToBottom));

    const QFont large = designFont(16);
    m_keywordBox = new HistoryComboBox(m_toolBar);
    m_keywordBox->setObjectName(QStringLiteral("keywordBox"));
    m_keywordBox->setGeometry(8, 6, 274, 24);
    m_keywordBox->setFont(large);
    m_keywordBox->setMaxVisibleItems(30);
    m_keywordBox->setMaxLength(45);
    m_keywordBox->setToolTip(QStringLiteral("動画の検索キーワード"));
    m_keywordBox->setSaveFileName(m_options.historyFileName);
    m_keywordBox->setSaveSectionName(HistorySection);

    m_searchButton = makeToolButton(m_toolBar, QStringLiteral("searchButton"), {284, 6, 70, 24},
                                    QStringLiteral("動画の検索"));
    m_searchButton->setText(QStringLiteral("検索"));
    makeSeparator(m_toolBar, QStringLiteral("toolBarSeparator1"), {358, 6, 4, 24});
    m_searchSettingsButton = makeToolButton(m_toolBar, QStringLiteral("searchSettingsButton"),
                                            {366, 6, 80, 24}, QStringLiteral("動画の検索設定"));
    m_searchSettingsButton->setText(QStringLiteral("検索設定"));
    makeSeparator(m_toolBar, QStringLiteral("toolBarSeparator2"), {450, 6, 4, 24});
    m_topPageButton = makeToolButton(m_toolBar, QStringLiteral("topPageButton"), {458, 6, 100, 24},
                                     QStringLiteral("トップページの参照"));
    m_topPageButton->setText(QStringLiteral("トップページ"));
    makeSeparator(m_toolBar, QStringLiteral("toolBarSeparator3"), {562, 6, 4, 24});
    m_stopButton = makeToolButton(m_toolBar, QStringLiteral("stopButton"), {570, 6, 60, 24},
                                  QStringLiteral("読み込みの中止"));
    m_stopButton->setText(QStringLiteral("中止"));
    for (QToolButton* button :
         {m_searchButton, m_searchSettingsButton, m_topPageButton, m_stopButton})
        button->setFont(large);
}

void MainWindow::createStatusBar() {
    m_statusBar = new QStatusBar(this);
    m_statusBar->setObjectName(QStringLiteral("statusBar"));
    m_statusBar->setFixedHeight(19);
    static constexpr int widths[] = {150, 130, 84, 100};
    for (int i = 0; i < 4; ++i) {
        auto* panel = new QLabel(m_statusBar);
        panel->setObjectName(QStringLiteral("statusPanel%1").arg(i));
        panel->setFrameShape(QFrame::Panel);
        panel->setFrameShadow(QFrame::Sunken);
        panel->setAlignment((i < 3 ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignVCenter);
        panel->setMinimumWidth(widths[i]);
        if (i < 3)
            panel->setMaximumWidth(widths[i]);
        // The last panel reaches to the bar's right end.
        m_statusBar->addWidget(panel, i < 3 ? 0 : 1);
        m_statusPanels.append(panel);
    }
    setStatusBar(m_statusBar);
}

QTabWidget* MainWindow::createPages() {
    auto* pages = new QTabWidget(this);
    pages->setObjectName(QStringLiteral("pageTabs"));
    pages->setTabPosition(QTabWidget::West);
    // The tab takes its ground from the desktop's theme, and so its text colour too (black
    // under a light theme, as designed).
    pages->tabBar()->setFont(designFont(16, true));
    // One page only: Tab goes from the keyword box straight to the result column.
    pages->tabBar()->setFocusPolicy(Qt::NoFocus);

    auto* searchPage = new QWidget;
    searchPage->setObjectName(QStringLiteral("searchPage"));
    searchPage->setFont(designFont(12));
    pages->addTab(searchPage, QStringLiteral("  動画検索  "));
    auto* fill = new QHBoxLayout(searchPage);
    fill->setContentsMargins(0, 0, 0, 0);

    auto* splitter = new QSplitter(Qt::Horizontal, searchPage);
    splitter->setObjectName(QStringLiteral("splitter"));
    splitter->setHandleWidth(3);
    splitter->setChildrenCollapsible(false);
    fill->addWidget(splitter);

    splitter->addWidget(createResultColumn());

    const BrowserPaneParts pane = m_options.createBrowserPane(
        splitter, &m_entryPoints,
        {command([this] { m_controller->handleNavigationFinished(); }),
         command([this] { updateHistoryCommands(); }),
         command([this](bool on) { m_paneFullScreen->handlePageRequest(on); })});
    m_browserPaneInterface = pane.pane;
    pane.widget->setObjectName(QStringLiteral("browserPane"));
    pane.widget->setAccessibleName(QStringLiteral("参照中のページ"));
    m_paneFullScreen = new PaneFullScreen(*this, *pane.widget, *m_browserPaneInterface);
    m_paneFullScreen->setObjectName(QStringLiteral("paneFullScreen"));
    splitter->addWidget(pane.widget);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({255, 720});
    return pages;
}

// position: "upper" or "lower", the start of the object names of the bar and its controls.
MainWindow::NavigationBar MainWindow::createNavigationBar(QWidget* parent,
                                                          const QString& position) {
    NavigationBar made;
    made.bar = new QFrame(parent);
    made.bar->setObjectName(position + QStringLiteral("NavigationBar"));
    made.bar->setFrameShape(QFrame::Panel);
    made.bar->setFrameShadow(QFrame::Raised);
    made.bar->setFixedHeight(26);

    const struct {
        QToolButton** button;
        const char* name;
        QRect geometry;
        const char* hint;
        const QString& glyph;
    } buttons[] = {
        {&made.first, "FirstPageButton", {20, 2, 24, 24}, "最初のページ", FirstPageGlyph},
        {&made.previous, "PreviousPageButton", {44, 2, 32, 24}, "前のページ", PreviousPageGlyph},
        {&made.next, "NextPageButton", {176, 2, 32, 24}, "次のページ", NextPageGlyph},
        {&made.last, "LastPageButton", {208, 2, 24, 24}, "最後のページ", LastPageGlyph},
    };
    for (const auto& b : buttons) {
        QToolButton* button = makeToolButton(made.bar, position + QLatin1String(b.name), b.geometry,
                                             QString::fromUtf8(b.hint));
        button->setIcon(loadGlyphIcon(b.glyph));
        button->setIconSize(QSize(16, 16));
        *b.button = button;
    }
    made.pageLabel = new QLabel(QStringLiteral("ページ 0/0"), made.bar);
    made.pageLabel->setObjectName(position + QStringLiteral("PageLabel"));
    made.pageLabel->setGeometry(76, 2, 100, 24);
    made.pageLabel->setAlignment(Qt::AlignCenter);

    auto* anchors = new KeepRelativePlace(made.bar, 255);
    for (QWidget* control :
         {static_cast<QWidget*>(made.first), static_cast<QWidget*>(made.previous),
          static_cast<QWidget*>(made.pageLabel), static_cast<QWidget*>(made.next),
          static_cast<QWidget*>(made.last)})
        anchors->append(control);
    return made;
}

QFrame* MainWindow::createResultColumn() {
    auto* resultColumn = new QFrame;
    resultColumn->setObjectName(QStringLiteral("resultColumn"));
    resultColumn->setFrameShape(QFrame::NoFrame);
    auto* column = new QVBoxLayout(resultColumn);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    m_upperNavigation = createNavigationBar(resultColumn, QStringLiteral("upper"));

    m_resultArea = new ResultScrollArea(resultColumn);
    m_resultArea->setObjectName(QStringLiteral("resultArea"));
    m_resultArea->setAccessibleName(QStringLiteral("検索結果"));
    // Tab reaches the column through one of its slots (setCurrentSlot()).
    m_resultArea->setFocusPolicy(Qt::NoFocus);
    // The column is white with light grey strips under any theme; its slots draw as designed.
    m_resultArea->viewport()->setPalette(designPalette());
    setBackground(m_resultArea->viewport(), Qt::white);
    setBackground(m_resultArea->content(), Qt::white);
    m_leftBackground = makeBackground(m_resultArea->content(), QStringLiteral("leftBackground"),
                                      GradientBox::Direction::RightToLeft);
    m_rightBackground = makeBackground(m_resultArea->content(), QStringLiteral("rightBackground"),
                                       GradientBox::Direction::LeftToRight);
    for (int number = 1; number <= SlotCount; ++number)
        m_resultSlots.append(createResultSlot(number));
    setCurrentSlot(0);
    connect(m_resultArea, &ResultScrollArea::contentResized, this,
            [this] { layoutResultColumn(); });

    m_lowerNavigation = createNavigationBar(resultColumn, QStringLiteral("lower"));
    column->addWidget(m_upperNavigation.bar);
    column->addWidget(m_resultArea, 1);
    column->addWidget(m_lowerNavigation.bar);
    resultColumn->resize(255, resultColumn->height());
    layoutResultColumn();
    return resultColumn;
}

ResultSlot MainWindow::createResultSlot(int number) {
    const auto name = [number](const char* part) {
        return QLatin1String(part) + QString::number(number);
    };
    ResultSlot slot;
    auto* panel = new ResultSlotPanel(m_resultArea->content());
    slot.panel = panel;
    panel->setObjectName(name("resultSlot"));
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Raised);
    panel->setLineWidth(1);
    setBackground(panel, Qt::white);
    panel->setGeometry(0, SlotHeightPixels * (number - 1), 234, SlotHeightPixels);

    // Created from the lowest to the topmost: strip, picture, label, check box.
    slot.strip = makeBackground(panel, name("resultStrip"), GradientBox::Direction::TopToBottom);
    slot.strip->setGeometry(1, 99, 232, 20);

    slot.thumbnail = new ClickableImage(panel);
    slot.thumbnail->setObjectName(name("resultThumbnail"));
    slot.thumbnail->setGeometry(8, 22, 120, 90);
    slot.thumbnail->setCursor(Qt::PointingHandCursor);

    slot.infoLabel = new QLabel(QStringLiteral("-"), panel);
    slot.infoLabel->setObjectName(name("resultInfo"));
    slot.infoLabel->setGeometry(136, 28, 90, 60);
    slot.infoLabel->setWordWrap(true);
    slot.infoLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    slot.infoLabel->setFont(designFont(12));
    setTextColor(slot.infoLabel, toQColor(GrayColor, slot.infoLabel->palette()));

    slot.checkBox = new ImageCheckBox(panel);
    slot.checkBox->setObjectName(name("resultCheckBox"));
    slot.checkBox->move(4, 4);
    slot.checkBox->setFont(designFont(12, true));
    setTextColor(slot.checkBox, Qt::black);
    slot.checkBox->setCursor(Qt::PointingHandCursor);
    slot.checkBox->setChecked(false);
    slot.checkBox->setGroupIndex(0);
    slot.checkBox->setBoxStyle(1);
    slot.checkBox->setCaptionSide(ImageCheckBox::CaptionSide::Right);
    slot.checkBox->setAutoSize(true);
    slot.checkBox->fitToContent();
    // The slot is what Tab reaches; the check box takes the focus when clicked.
    slot.checkBox->setFocusPolicy(Qt::ClickFocus);

    panel->hide();
    const auto open = command([this, number] { m_controller->openResult(number); });
    connect(slot.thumbnail, &ClickableImage::clicked, &m_entryPoints, open);
    connect(panel, &ResultSlotPanel::activated, &m_entryPoints, open);
    connect(panel, &ResultSlotPanel::focused, &m_entryPoints,
            command([this, number] { followFocusedSlot(number - 1); }));
    connect(panel, &ResultSlotPanel::moveRequested, &m_entryPoints,
            command([this, number](ResultSlotPanel::Move move) {
                moveInResultColumn(number - 1, move);
            }));
    connect(panel, &QWidget::customContextMenuRequested, &m_entryPoints,
            command([this, number, panel](const QPoint& at) {
                showResultMenu(number, panel->mapToGlobal(at));
            }));
    return slot;
}

// The column's children follow the content's size: the strips stand at its left and right
// edges over its whole height, the slots reach to its right edge.
void MainWindow::layoutResultColumn() {
    const QWidget* content = m_resultArea->content();
    const int width = content->width();
    const int height = content->height();
    m_leftBackground->setGeometry(0, 0, 80, height);
    m_rightBackground->setGeometry(width - 80, 0, 80, height);
    for (const ResultSlot& slot : std::as_const(m_resultSlots)) {
        slot.panel->resize(width, SlotHeightPixels);
        slot.infoLabel->resize(width - 144, 60);
        slot.strip->resize(width - 2, 20);
    }
}

// --- wiring ---------------------------------------------------------------------------------

void MainWindow::connectCommands() {
    SearchController* controller = m_controller.get();
    connect(m_searchAction, &QAction::triggered, &m_entryPoints,
            command([controller] { controller->search(); }));
    // Direct: the filter may consume or change the key before the box handles it.
    connect(m_keywordBox, &HistoryComboBox::keyTyped, &m_entryPoints,
            command([controller](QChar& key) { controller->filterKeywordKey(key); }),
            Qt::DirectConnection);

    connect(m_searchSettingsAction, &QAction::triggered, &m_entryPoints,
            command([this] { editSearchSettings(); }));
    connect(m_topPageAction, &QAction::triggered, &m_entryPoints,
            command([this] { showTopPage(); }));
    connect(m_stopAction, &QAction::triggered, &m_entryPoints,
            command([controller] { controller->stop(); }));

    // The buttons run the menu's commands and are enabled as they are.
    followAction(m_searchButton, m_searchAction);
    followAction(m_searchSettingsButton, m_searchSettingsAction);
    followAction(m_topPageButton, m_topPageAction);
    followAction(m_stopButton, m_stopAction);
    for (const NavigationBar* bar : {&m_upperNavigation, &m_lowerNavigation}) {
        followAction(bar->first, m_firstPageAction);
        followAction(bar->previous, m_previousPageAction);
        followAction(bar->next, m_nextPageAction);
        followAction(bar->last, m_lastPageAction);
    }

    connect(m_openInBrowserAction, &QAction::triggered, &m_entryPoints,
            command([this] { openPageInDefaultBrowser(); }));
    connect(m_mailLinkAction, &QAction::triggered, &m_entryPoints,
            command([this] { mailPageLink(); }));
    // The menu has already inverted the tick when these run.
    connect(m_showToolBarAction, &QAction::triggered, &m_entryPoints,
            command([this](bool checked) { setToolBarVisible(checked); }));
    connect(m_showStatusBarAction, &QAction::triggered, &m_entryPoints,
            command([this](bool checked) { setStatusBarVisible(checked); }));
    connect(m_clearHistoryAction, &QAction::triggered, &m_entryPoints,
            command([this] { clearSearchHistory(); }));
    connect(m_makerSiteAction, &QAction::triggered, &m_entryPoints,
            command([this] { openMakerSite(); }));
    connect(m_softwareInfoAction, &QAction::triggered, &m_entryPoints,
            command([this] { openSoftwareInfo(); }));

    connect(m_copyPageAddressAction, &QAction::triggered, &m_entryPoints,
            command([this] { copyPageAddress(); }));
    IBrowserPane* pane = m_browserPaneInterface;
    connect(m_backAction, &QAction::triggered, &m_entryPoints, command([pane] { pane->goBack(); }));
    connect(m_forwardAction, &QAction::triggered, &m_entryPoints,
            command([pane] { pane->goForward(); }));
    connect(m_reloadAction, &QAction::triggered, &m_entryPoints,
            command([pane] { pane->reloadPage(); }));
    connect(m_fullScreenAction, &QAction::triggered, &m_entryPoints,
            command([this] { m_paneFullScreen->toggle(); }));
    connect(m_paneFullScreen, &PaneFullScreen::switched, m_fullScreenAction, &QAction::setChecked);
    connect(m_focusKeywordAction, &QAction::triggered, &m_entryPoints,
            command([this] { focusKeywordBox(); }));
    const std::pair<QAction*, std::function<void()>> paging[] = {
        {m_firstPageAction, [controller] { controller->showFirstPage(); }},
        {m_previousPageAction, [controller] { controller->showPreviousPage(); }},
        {m_nextPageAction, [controller] { controller->showNextPage(); }},
        {m_lastPageAction, [controller] { controller->showLastPage(); }},
    };
    for (const auto& [action, showPage] : paging)
        connect(action, &QAction::triggered, &m_entryPoints, command(showPage));

    const auto onMenuSlot = [this](void (MainWindow::*run)(int)) {
        return command([this, run] { (this->*run)(m_resultMenuSlot); });
    };
    connect(m_openResultAction, &QAction::triggered, &m_entryPoints,
            command([this] { m_controller->openResult(m_resultMenuSlot); }));
    connect(m_openResultInBrowserAction, &QAction::triggered, &m_entryPoints,
            onMenuSlot(&MainWindow::openResultInBrowser));
    connect(m_copyResultLinkAction, &QAction::triggered, &m_entryPoints,
            onMenuSlot(&MainWindow::copyResultLink));
    connect(m_playResultAction, &QAction::triggered, &m_entryPoints,
            onMenuSlot(&MainWindow::playResult));
    connect(m_mailResultAction, &QAction::triggered, &m_entryPoints,
            onMenuSlot(&MainWindow::mailResult));
    connect(m_quitAction, &QAction::triggered, &m_entryPoints, command([this] { close(); }));
    connect(m_aboutAction, &QAction::triggered, &m_entryPoints, command([this] { showAbout(); }));
}

// --- window events --------------------------------------------------------------------------

bool MainWindow::event(QEvent* event) {
    const bool result = QMainWindow::event(event);
    if (event->type() == QEvent::WindowActivate) {
        runCommand([this] { loadSettings(); });
        runCommand([this] { runPendingSearch(); });
    }
    return result;
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (m_shown)
        return;
    m_shown = true;
    centreAtDesignSize();
}

// The design size is the outer size, centred on the screen. A window manager may tell the
// frame only after the window is shown, so the first activation does this once more.
void MainWindow::centreAtDesignSize() {
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
void MainWindow::closeEvent(QCloseEvent* event) {
    // The place to keep is the window's own, not the screen's.
    m_paneFullScreen->leaveAndSettle();
    runCommand([this] { saveSettings(); });
    m_controller->stopLoading();
    event->accept();
}

void MainWindow::loadSettings() {
    if (m_settingsLoaded || !m_settingsDialog)
        return;
    if (size() == m_placedSize && frameGeometry().size() != DesignSize)
        centreAtDesignSize();
    SettingsFile::load(m_options.settingsFilePath, *this, *m_settingsDialog,
                       m_controller->settings);
    applySearchSettings();
    m_settingsLoaded = true;
}

void MainWindow::saveSettings() {
    if (!m_settingsDialog)
        return;
    // A close before the first activation (a signal at start-up, a window manager that never
    // activates the window) reads the file first, so that the save keeps what is stored instead
    // of writing the window's defaults over it.
    if (!m_settingsLoaded) {
        SettingsFile::load(m_options.settingsFilePath, *this, *m_settingsDialog,
                           m_controller->settings);
        m_settingsLoaded = true;
    }
    SettingsFile::save(m_options.settingsFilePath, *this, *m_settingsDialog,
                       m_controller->settings);
}

// --- commands -------------------------------------------------------------------------------

void MainWindow::editSearchSettings() {
    if (!m_settingsDialog)
        return;
    // Before the settings are loaded there is nothing to edit yet: they are applied as they are.
    if (m_settingsLoaded && m_settingsDialog->exec() != QDialog::Accepted)
        return;
    applySearchSettings();
}

void MainWindow::applySearchSettings() {
    m_settingsDialog->applyTo(m_controller->settings);
    m_controller->search();
}

void MainWindow::showTopPage() {
    m_browserPaneInterface->navigate(topPageUrl(m_options.serviceHost) + QStringLiteral("?ret=1"));
}

void MainWindow::openPageInDefaultBrowser() {
    const QString location = m_browserPaneInterface->locationUrl();
    if (isWebAddress(location))
        desktopServices().openUrl(location);
}

void MainWindow::mailPageLink() {
    const QString location = m_browserPaneInterface->locationUrl();
    if (isWebAddress(location))
        mailLink(m_browserPaneInterface->resultTitle(), location);
}

void MainWindow::setToolBarVisible(bool visible) {
    m_toolBar->setVisible(visible);
}

void MainWindow::setStatusBarVisible(bool visible) {
    m_statusBar->setVisible(visible);
}

void MainWindow::clearSearchHistory() {
    m_keywordBox->clearHistory();
}

void MainWindow::openMakerSite() {
    desktopServices().openUrl(makerSiteUrl(m_options.serviceHost));
}

void MainWindow::openSoftwareInfo() {
    desktopServices().openUrl(softwareInfoUrl(m_options.serviceHost) + programBaseName());
}

void MainWindow::showAbout() {
    QMessageBox box(this);
    box.setObjectName(QStringLiteral("aboutDialog"));
    box.setWindowTitle(QStringLiteral("バージョン情報"));
    box.setIconPixmap(QApplication::windowIcon().pixmap(64));
    box.setTextFormat(Qt::PlainText);
    box.setText(QStringLiteral("%1 %2\n動画検索ブラウザ").arg(ApplicationTitle, ProgramVersion));
    box.setInformativeText(
        QStringLiteral("ライセンス: %1\n"
                       "このプログラムは無保証です。GNU 一般公衆利用許諾書の第 3 版または"
                       "それ以降の版の条件の下で再頒布できます。\n\n"
                       "Qt %2")
            .arg(ProgramLicence, QString::fromLatin1(qVersion())));
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

void MainWindow::searchFor(const QString& keyword) {
    if (keyword.isEmpty())
        return;
    m_pendingKeyword = keyword;
    runPendingSearch();
}

// Runs the search a start asked for, unless the settings are not applied yet, a page load runs
// (the end of the load tries again) or a dialog waits for an answer (the window's activation
// after it tries again).
void MainWindow::runPendingSearch() {
    if (m_pendingKeyword.isEmpty() || !m_settingsLoaded || !isSearchEnabled() ||
        QApplication::activeModalWidget())
        return;
    m_keywordBox->setEditText(std::exchange(m_pendingKeyword, QString()));
    m_controller->search();
}

// --- the search controller's view -----------------------------------------------------------

QString MainWindow::keywordText() const {
    return m_keywordBox->currentText();
}

void MainWindow::setKeywordText(const QString& text) {
    m_keywordBox->setEditText(text);
}

void MainWindow::addKeywordToHistory() {
    m_keywordBox->addToHistory();
}

void MainWindow::setSearchControlsEnabled(bool enabled) {
    m_searchAction->setEnabled(enabled);
    m_searchSettingsAction->setEnabled(enabled);
    // Called inside the load that ends: a search that waited runs after it has returned.
    if (enabled && !m_pendingKeyword.isEmpty())
        QTimer::singleShot(0, &m_entryPoints, command([this] { runPendingSearch(); }));
}

void MainWindow::setStopEnabled(bool enabled) {
    m_stopAction->setEnabled(enabled);
}

bool MainWindow::isSearchEnabled() const {
    return m_searchAction->isEnabled();
}

void MainWindow::setPagingButtonsEnabled(bool firstAndPrevious, bool nextAndLast) {
    m_firstPageAction->setEnabled(firstAndPrevious);
    m_previousPageAction->setEnabled(firstAndPrevious);
    m_nextPageAction->setEnabled(nextAndLast);
    m_lastPageAction->setEnabled(nextAndLast);
}

void MainWindow::resetResultColumn() {
    // The column keeps the keyboard focus while its slots are hidden; the first slot shown takes
    // it back (a page turned from the keyboard goes on from the keyboard).
    if (m_resultArea->isAncestorOf(QApplication::focusWidget()))
        m_resultArea->setFocus(Qt::OtherFocusReason);
    setCurrentSlot(0);
    m_resultArea->verticalScrollBar()->setValue(0);
    for (const ResultSlot& slot : std::as_const(m_resultSlots))
        slot.panel->hide();
}

void MainWindow::setResultScrollRange(int pixels) {
    m_resultArea->setRange(pixels);
}

int MainWindow::slotHeight() const {
    return m_resultSlots.front().panel->height();
}

ResultSlot MainWindow::resultSlot(int index) const {
    return m_resultSlots[index];
}

void MainWindow::setCaption(const QString& caption) {
    setWindowTitle(caption);
}

void MainWindow::setPageLabels(const QString& text) {
    m_upperNavigation.pageLabel->setText(text);
    m_lowerNavigation.pageLabel->setText(text);
}

void MainWindow::setStatusText(int panel, const QString& text) {
    if (panel >= 0 && panel < m_statusPanels.size())
        m_statusPanels[panel]->setText(text);
}

void MainWindow::enableWebCommands() {
    m_openInBrowserAction->setEnabled(true);
    m_mailLinkAction->setEnabled(true);
    m_copyPageAddressAction->setEnabled(true);
}

// --- the keyboard, the result menu ----------------------------------------------------------

void MainWindow::copyPageAddress() {
    const QString location = m_browserPaneInterface->locationUrl();
    if (!location.isEmpty())
        QGuiApplication::clipboard()->setText(location);
}

void MainWindow::focusKeywordBox() {
    m_paneFullScreen->leave();
    if (m_toolBar->isHidden()) {
        m_showToolBarAction->setChecked(true);
        setToolBarVisible(true);
    }
    m_keywordBox->setFocus(Qt::ShortcutFocusReason);
    m_keywordBox->lineEdit()->selectAll();
}

void MainWindow::updateHistoryCommands() {
    m_backAction->setEnabled(m_browserPaneInterface->canGoBack());
    m_forwardAction->setEnabled(m_browserPaneInterface->canGoForward());
}

void MainWindow::setCurrentSlot(int index) {
    for (qsizetype i = 0; i < m_resultSlots.size(); ++i)
        m_resultSlots[i].panel->setFocusPolicy(i == index ? Qt::StrongFocus : Qt::ClickFocus);
}

void MainWindow::followFocusedSlot(int index) {
    setCurrentSlot(index);
    m_resultArea->ensureWidgetVisible(m_resultSlots[index].panel, 0, 0);
}

void MainWindow::moveInResultColumn(int from, ResultSlotPanel::Move move) {
    // The shown slots are the first ones, without a gap.
    const auto shown = [this](int index) {
        return index >= 0 && index < SlotCount && !m_resultSlots[index].panel->isHidden();
    };
    int to = from;
    switch (move) {
    case ResultSlotPanel::Move::Previous:
        to = from - 1;
        break;
    case ResultSlotPanel::Move::Next:
        to = from + 1;
        break;
    case ResultSlotPanel::Move::First:
        to = 0;
        break;
    case ResultSlotPanel::Move::Last:
        to = SlotCount - 1;
        while (to > from && !shown(to))
            --to;
        break;
    }
    if (shown(to))
        m_resultSlots[to].panel->setFocus(Qt::OtherFocusReason);
}

void MainWindow::showResultMenu(int number, const QPoint& globalPosition) {
    const SearchResult* result = shownResult(number);
    if (!result)
        return;
    // The menu acts on the slot it was opened for, which keeps the focus when it closes.
    m_resultSlots[number - 1].panel->setFocus(Qt::OtherFocusReason);
    m_resultMenuSlot = number;
    const bool webPage = isWebAddress(result->pageUrl);
    for (QAction* action : {m_openResultInBrowserAction, m_copyResultLinkAction, m_playResultAction,
                            m_mailResultAction})
        action->setEnabled(webPage);
    m_resultMenu->popup(globalPosition);
}

const SearchResult* MainWindow::shownResult(int number) const {
    const int row = number - 1;
    const SearchResults& results = m_controller->results;
    if (row < 0 || row >= SlotCount || row >= results.size() ||
        m_resultSlots[row].panel->isHidden())
        return nullptr;
    return &results[row];
}

// Only web pages are handed on, as the pane's own commands do.
const SearchResult* MainWindow::shownWebResult(int number) const {
    const SearchResult* result = shownResult(number);
    return result && isWebAddress(result->pageUrl) ? result : nullptr;
}

void MainWindow::openResultInBrowser(int number) {
    if (const SearchResult* result = shownWebResult(number))
        desktopServices().openUrl(result->pageUrl);
}

void MainWindow::copyResultLink(int number) {
    if (const SearchResult* result = shownWebResult(number))
        QGuiApplication::clipboard()->setText(result->pageUrl);
}

void MainWindow::playResult(int number) {
    const SearchResult* result = shownWebResult(number);
    if (!result)
        return;
    // As the address reads on the wire: it begins with its scheme, so no player takes it for an
    // option.
    const QString address = QUrl(result->pageUrl).toString(QUrl::FullyEncoded);
    const QStringList player = playerCommand(SettingsFile::player(m_options.settingsFilePath));
    if (player.isEmpty())
        desktopServices().openUrl(address);
    else
        startPlayer(player, address);
}

void MainWindow::mailResult(int number) {
    if (const SearchResult* result = shownWebResult(number))
        mailLink(result->title, result->pageUrl);
}
