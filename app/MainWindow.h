#pragma once

#include "app/ResultSlotPanel.h"
#include "controls/BrowserPane.h"
#include "search/SearchView.h"

#include <QList>
#include <QMainWindow>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QAction;
class QFrame;
class QLabel;
class QMenu;
class QStatusBar;
class QTabWidget;
class QToolButton;
class GradientBox;
class HistoryComboBox;
class HttpClient;
class PaneFullScreen;
class ResultScrollArea;
class SearchController;
class SearchSettingsDialog;
class UrlEncoder;
struct SearchResult;

// The browser pane as the main window holds it: the widget that goes into the layout and the
// pane interface of the same object.
struct BrowserPaneParts {
    QWidget* widget = nullptr;
    IBrowserPane* pane = nullptr;
};

// What the main window does with the pane's notices.
struct BrowserPaneHandlers {
    std::function<void()> navigationFinished;
    std::function<void()> historyChanged;
    std::function<void(bool on)> fullScreenRequested;
};

// Makes the browser pane as a child of parent; the handlers are to be called, in the context of
// receiver, for the pane's notices.
using BrowserPaneFactory = std::function<BrowserPaneParts(QWidget* parent, QObject* receiver,
                                                          BrowserPaneHandlers handlers)>;

// The factory for a pane class T: a QWidget and an IBrowserPane with the signals
// navigationFinished(), historyChanged() and fullScreenRequested(bool), as WebView has them.
template <class T> BrowserPaneFactory browserPaneOf() {
    return [](QWidget* parent, QObject* receiver, BrowserPaneHandlers handlers) {
        auto* pane = new T(parent);
        QObject::connect(pane, &T::navigationFinished, receiver,
                         std::move(handlers.navigationFinished));
        QObject::connect(pane, &T::historyChanged, receiver, std::move(handlers.historyChanged));
        QObject::connect(pane, &T::fullScreenRequested, receiver,
                         std::move(handlers.fullScreenRequested));
        return BrowserPaneParts{pane, pane};
    };
}

// The web engine pane, WebView.
BrowserPaneFactory defaultBrowserPane();

// What the main window is made with. The defaults are the program's own: the service host of
// the build, "Sorvel.ini" and "log_search.ini" in the user's settings folder (configDir()), the
// web engine pane. Made after the application object (the program's directory is read then).
struct MainWindowOptions {
    QString serviceHost;
    QString settingsFilePath;
    // A bare name is taken from the program's directory; a name with a directory part is used
    // as it is.
    QString historyFileName;
    BrowserPaneFactory createBrowserPane;

    MainWindowOptions();
};

// The main window: tool bar, keyword box, the result column with its twenty slots and two
// navigation bars, the browser pane, status bar and menu bar. It owns the HTTP client, the URL
// encoder and the search controller, and is the search controller's view. The settings dialog
// is attached after construction (start-up creates it second) and must outlive the window's
// use. Every widget and action has an object name (its member's name without "m_"), by which
// tests find it.
class MainWindow final : public QMainWindow, public ISearchView {
    Q_OBJECT
public:
    // Raises what the construction of its parts raises (the HTTP client's socket).
    explicit MainWindow(const MainWindowOptions& options = MainWindowOptions(),
                        QWidget* parent = nullptr);
    ~MainWindow() override;
    Q_DISABLE_COPY_MOVE(MainWindow)

    void setSearchSettingsDialog(SearchSettingsDialog& dialog) { m_settingsDialog = &dialog; }

    SearchController& searchController() { return *m_controller; }

    // Whether the first activation has loaded the settings file.
    bool settingsLoaded() const { return m_settingsLoaded; }
    // Runs at every activation and acts at the first only: loads the settings file into the
    // window, the dialog and the search settings, applies them and searches.
    void loadSettings();
    // Saves the settings file (read first when no activation has read it yet); raises
    // ProfileWriteError when it cannot be written.
    void saveSettings();

    // A search that a start of the program asks for: the keyword goes into the keyword box and
    // is searched for as soon as the settings are applied, no page load runs and no dialog is
    // open. A later call replaces a search still waiting. An empty keyword asks for none.
    void searchFor(const QString& keyword);

    // ISearchView
    QString keywordText() const override;
    void setKeywordText(const QString& text) override;
    void addKeywordToHistory() override;
    void setSearchControlsEnabled(bool enabled) override;
    bool isSearchEnabled() const override;
    void setPagingButtonsEnabled(bool firstAndPrevious, bool nextAndLast) override;
    void setStopEnabled(bool enabled) override;
    void resetResultColumn() override;
    void setResultScrollRange(int pixels) override;
    int slotHeight() const override;
    ResultSlot resultSlot(int index) const override;
    QString baseCaption() const override { return m_baseCaption; }
    void setCaption(const QString& caption) override;
    void setPageLabels(const QString& text) override;
    void setStatusText(int panel, const QString& text) override;
    IBrowserPane& browserPane() override { return *m_browserPaneInterface; }
    void enableWebCommands() override;

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // The buttons and the page label of one of the two navigation bars above and below the
    // result column.
    struct NavigationBar {
        QFrame* bar = nullptr;
        QToolButton* first = nullptr;
        QToolButton* previous = nullptr;
        QLabel* pageLabel = nullptr;
        QToolButton* next = nullptr;
        QToolButton* last = nullptr;
    };

    // The commands of the menu and the tool bar.
    // Shows the settings dialog (once the settings are loaded) and applies them after OK.
    void editSearchSettings();
    // Copies the dialog's settings into the search settings and searches from page 1.
    void applySearchSettings();
    void showTopPage();
    void openPageInDefaultBrowser();
    void mailPageLink();
    void setToolBarVisible(bool visible);
    void setStatusBarVisible(bool visible);
    void clearSearchHistory();
    void openMakerSite();
    void openSoftwareInfo();
    void showAbout();
    void runPendingSearch();

    // The keyboard's commands, the result menu and full screen.
    void copyPageAddress();
    void focusKeywordBox();
    void updateHistoryCommands();
    // Makes the slot at index (0 to SlotCount - 1) the one that Tab reaches in the column.
    void setCurrentSlot(int index);
    // The slot at index got the keyboard focus: it becomes the current one and scrolls into view.
    void followFocusedSlot(int index);
    // Up, Down, Home or End in the slot at index: the focus goes to the slot shown there.
    void moveInResultColumn(int from, ResultSlotPanel::Move move);
    void showResultMenu(int number, const QPoint& globalPosition);
    // The result shown in slot number (1 to SlotCount), if any.
    const SearchResult* shownResult(int number) const;
    // The same when its page is a web page; the commands that hand a result on take no other.
    const SearchResult* shownWebResult(int number) const;
    void openResultInBrowser(int number);
    void copyResultLink(int number);
    void playResult(int number);
    void mailResult(int number);

    void createMenus();
    void createResultMenu();
    void createToolBar();
    void createStatusBar();
    QTabWidget* createPages();
    NavigationBar createNavigationBar(QWidget* parent, const QString& position);
    QFrame* createResultColumn();
    ResultSlot createResultSlot(int number);
    void layoutResultColumn();
    void centreAtDesignSize();
    void connectCommands();

    MainWindowOptions m_options;
    std::unique_ptr<HttpClient> m_http;
    std::unique_ptr<UrlEncoder> m_urlEncoder;
    std::unique_ptr<SearchController> m_controller;
    SearchSettingsDialog* m_settingsDialog = nullptr;
    QString m_baseCaption;
    bool m_settingsLoaded = false;
    bool m_shown = false;
    QSize m_placedSize;

    QAction* m_openInBrowserAction = nullptr;
    QAction* m_mailLinkAction = nullptr;
    QAction* m_showToolBarAction = nullptr;
    QAction* m_showStatusBarAction = nullptr;
    QAction* m_searchAction = nullptr;
    QAction* m_stopAction = nullptr;
    QAction* m_searchSettingsAction = nullptr;
    QAction* m_clearHistoryAction = nullptr;
    QAction* m_topPageAction = nullptr;
    QAction* m_makerSiteAction = nullptr;
    QAction* m_softwareInfoAction = nullptr;
    QAction* m_copyPageAddressAction = nullptr;
    QAction* m_backAction = nullptr;
    QAction* m_forwardAction = nullptr;
    QAction* m_reloadAction = nullptr;
    QAction* m_fullScreenAction = nullptr;
    QAction* m_focusKeywordAction = nullptr;
    QAction* m_firstPageAction = nullptr;
    QAction* m_previousPageAction = nullptr;
    QAction* m_nextPageAction = nullptr;
    QAction* m_lastPageAction = nullptr;

    // The context menu of a result slot, and the slot number it was opened for.
    QMenu* m_resultMenu = nullptr;
    QAction* m_openResultAction = nullptr;
    QAction* m_openResultInBrowserAction = nullptr;
    QAction* m_copyResultLinkAction = nullptr;
    QAction* m_playResultAction = nullptr;
    QAction* m_mailResultAction = nullptr;
    int m_resultMenuSlot = 0;
    QAction* m_quitAction = nullptr;
    QAction* m_aboutAction = nullptr;
    QString m_pendingKeyword;

    QFrame* m_toolBar = nullptr;
    HistoryComboBox* m_keywordBox = nullptr;
    QToolButton* m_searchButton = nullptr;
    QToolButton* m_searchSettingsButton = nullptr;
    QToolButton* m_topPageButton = nullptr;
    QToolButton* m_stopButton = nullptr;

    QStatusBar* m_statusBar = nullptr;
    QList<QLabel*> m_statusPanels;

    NavigationBar m_upperNavigation;
    NavigationBar m_lowerNavigation;
    ResultScrollArea* m_resultArea = nullptr;
    GradientBox* m_leftBackground = nullptr;
    GradientBox* m_rightBackground = nullptr;
    // Slot 1 at index 0.
    QList<ResultSlot> m_resultSlots;

    IBrowserPane* m_browserPaneInterface = nullptr;
    PaneFullScreen* m_paneFullScreen = nullptr;

    // The context of every connection from a widget to a command. It goes first when the window
    // is destroyed, so that no notice of a widget reaches the search controller or the window
    // once they are gone (the widgets themselves go last, with the QWidget base).
    QObject m_entryPoints;
};
