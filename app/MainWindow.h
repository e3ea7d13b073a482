#pragma once

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
class QStatusBar;
class QTabWidget;
class QToolButton;
class GradientBox;
class HistoryComboBox;
class HttpClient;
class ResultScrollArea;
class SearchController;
class SearchSettingsDialog;
class UrlEncoder;

// The browser pane as the main window holds it: the widget that goes into the layout and the
// pane interface of the same object.
struct BrowserPaneParts {
    QWidget* widget = nullptr;
    IBrowserPane* pane = nullptr;
};

// Makes the browser pane as a child of parent; navigationFinished is to be called, in the
// context of receiver, for each completed navigation of the pane.
using BrowserPaneFactory = std::function<BrowserPaneParts(
    QWidget* parent, QObject* receiver, std::function<void()> navigationFinished)>;

// The factory for a pane class T: a QWidget and an IBrowserPane with a navigationFinished()
// signal, as WebView has it.
template <class T> BrowserPaneFactory browserPaneOf() {
    return [](QWidget* parent, QObject* receiver, std::function<void()> navigationFinished) {
        auto* pane = new T(parent);
        QObject::connect(pane, &T::navigationFinished, receiver, std::move(navigationFinished));
        return BrowserPaneParts{pane, pane};
    };
}

// The web engine pane, WebView.
BrowserPaneFactory defaultBrowserPane();

// What the main window is made with. The defaults are the program's own: the service host of
// the build, "Sorvel.ini" and "log_search.ini" beside the executable, the web engine pane. Made
// after the application object (the program's directory is read then).
struct MainWindowOptions {
    QString serviceHost;
    QString settingsFilePath;
    // A bare name is taken from the program's directory; a name with a directory part is used
    // as it is.
    QString historyFileName = QStringLiteral("log_search.ini");
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

    void createMenus();
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

    QWidget* m_browserPane = nullptr;
    IBrowserPane* m_browserPaneInterface = nullptr;

    // The context of every connection from a widget to a command. It goes first when the window
    // is destroyed, so that no notice of a widget reaches the search controller or the window
    // once they are gone (the widgets themselves go last, with the QWidget base).
    QObject m_entryPoints;
};
