#pragma once

#include "controls/BrowserPane.h"
#include "search/SearchView.h"

#include <QList>
#include <QMainWindow>
#include <QString>

#include <functional>
#include <memory>

class QAction;
class QFrame;
class QLabel;
class QMenu;
class QMenuBar;
class QSplitter;
class QStatusBar;
class QTabWidget;
class QToolButton;
class GradientBox;
class HistoryComboBox;
class HttpClient;
class UrlEncoder;
class TScrollBox;
class SearchController;
class TSettingForm1;

// The browser pane as the main window holds it: the widget that goes into the layout and the
// pane interface of the same object.
struct TBrowserPaneParts {
    QWidget* Widget = nullptr;
    IBrowserPane* Pane = nullptr;
};

// Makes the browser pane as a child of parent; navigateComplete2 is to be called, in the
// context of receiver, for each completed navigation of the pane.
using TBrowserPaneFactory = std::function<TBrowserPaneParts(
    QWidget* parent, QObject* receiver, std::function<void()> navigateComplete2)>;

// The factory for a pane class T: a QWidget and an IBrowserPane with a navigationFinished()
// signal, as WebView has it.
template <class T> TBrowserPaneFactory BrowserPaneOf() {
    return [](QWidget* parent, QObject* receiver, std::function<void()> navigateComplete2) {
        auto* pane = new T(parent);
        QObject::connect(pane, &T::navigationFinished, receiver, std::move(navigateComplete2));
        return TBrowserPaneParts{pane, pane};
    };
}

// The web engine pane WebView.
TBrowserPaneFactory DefaultBrowserPane();

// What the main window is made with. The defaults are the program's own: the service host of
// the build, "Sorvel.ini" and "log_search.ini" beside the executable, the web engine pane. Made
// after the application object (the program's directory is read then).
struct TMainFormOptions {
    QString ServiceHost;
    QString SettingsFilePath;
    // A bare name is taken from the program's directory; a name with a directory part is used
    // as it is.
    QString HistoryFileName = QStringLiteral("log_search.ini");
    TBrowserPaneFactory CreateBrowserPane;

    TMainFormOptions();
};

// The main window: tool bar, keyword box, the result column with its twenty slots and two
// navigation bars, the browser pane, status bar and menu bar. It owns the HTTP client, the URL
// encoder and the search client, and is the search client's view. The settings dialog is
// attached after construction (start-up creates it second) and must outlive the window's use.
class TMainForm1 final : public QMainWindow, public ISearchView {
    Q_OBJECT
public:
    // Raises what the construction of its components raises (the HTTP client's socket).
    explicit TMainForm1(const TMainFormOptions& options = TMainFormOptions(),
                        QWidget* parent = nullptr);
    ~TMainForm1() override;
    Q_DISABLE_COPY_MOVE(TMainForm1)

    void AttachSettingForm(TSettingForm1& settingForm) { SettingForm1 = &settingForm; }

    // 0 until the first activation has loaded the settings file, then 1.
    int Tag = 0;

    SearchController& SearchClient() { return *m_client; }

    // Handlers.
    void FormActivate();
    // Saves the settings file (read first when no activation has read it yet); raises
    // ProfileWriteError when it cannot be written.
    void FormClose();
    void FormDestroy();
    void SpeedButton0_4Click();
    void SpeedButton0_6Click();
    void W1Click();
    void W2Click();
    void V1Click();
    void V2Click();
    void S3Click();
    void H3Click();
    void H4Click();

    // ISearchView
    QString keywordText() const override;
    void setKeywordText(const QString& text) override;
    void addKeywordToHistory() override;
    void setSearchControlsEnabled(bool enabled) override;
    bool isSearchEnabled() const override;
    void setPagingButtonsEnabled(bool firstAndPrevious, bool nextAndLast) override;
    void resetResultColumn() override;
    void setResultScrollRange(int pixels) override;
    int slotHeight() const override;
    ResultSlot resultSlot(int index) const override;
    QString baseCaption() const override { return m_hint; }
    void setCaption(const QString& caption) override;
    void setPageLabels(const QString& text) override;
    void setStatusText(int panel, const QString& text) override;
    IBrowserPane& browserPane() override { return *m_browserPane; }
    void enableWebCommands() override;

    // Components, by their design names.
    TSettingForm1* SettingForm1 = nullptr;
    std::unique_ptr<HttpClient> NMHTTP1;
    std::unique_ptr<UrlEncoder> NMURL1;

    QMenuBar* MainMenu1 = nullptr;
    QMenu* W0 = nullptr;
    QAction* W1 = nullptr;
    QAction* W2 = nullptr;
    QMenu* V0 = nullptr;
    QAction* V1 = nullptr;
    QAction* V2 = nullptr;
    QMenu* S0 = nullptr;
    QAction* S1 = nullptr;
    QAction* N1 = nullptr;
    QAction* S2 = nullptr;
    QAction* N7 = nullptr;
    QAction* S3 = nullptr;
    QMenu* H0 = nullptr;
    QAction* H1 = nullptr;
    QAction* N2 = nullptr;
    QAction* H3 = nullptr;
    QAction* N3 = nullptr;
    QAction* H4 = nullptr;

    QFrame* Panel0 = nullptr;
    GradientBox* GradBox2 = nullptr;
    HistoryComboBox* HistoryComboBox1 = nullptr;
    QToolButton* SpeedButton0_1 = nullptr;
    QFrame* Bevel1 = nullptr;
    QToolButton* SpeedButton0_4 = nullptr;
    QFrame* Bevel2 = nullptr;
    QToolButton* SpeedButton0_6 = nullptr;

    QStatusBar* StatusBar0 = nullptr;
    QList<QLabel*> StatusPanels;

    QTabWidget* PageControl1 = nullptr;
    QWidget* TabSheet1 = nullptr;
    QSplitter* Splitter1 = nullptr;
    QFrame* Panel1 = nullptr;
    QFrame* Panel2 = nullptr;
    QToolButton* SpeedButton2_1 = nullptr;
    QToolButton* SpeedButton2_2 = nullptr;
    QLabel* Label2_1 = nullptr;
    QToolButton* SpeedButton2_3 = nullptr;
    QToolButton* SpeedButton2_4 = nullptr;
    TScrollBox* ScrollBox1 = nullptr;
    GradientBox* GradBox0_1 = nullptr;
    GradientBox* GradBox1 = nullptr;
    QFrame* Panel3 = nullptr;
    QToolButton* SpeedButton3_1 = nullptr;
    QToolButton* SpeedButton3_2 = nullptr;
    QLabel* Label3_1 = nullptr;
    QToolButton* SpeedButton3_3 = nullptr;
    QToolButton* SpeedButton3_4 = nullptr;
    QWidget* WebBrowser1 = nullptr;

    // The slot lists: entry i of each is part of slot i + 1.
    QList<QWidget*> SlotPanels;
    QList<ImageCheckBox*> SlotCheckBoxes;
    QList<ClickableImage*> SlotImages;
    QList<QLabel*> SlotLabels;
    QList<GradientBox*> SlotGradBoxes;

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateMenu();
    void CreateToolBar();
    void CreateStatusBar();
    void CreatePageControl();
    QFrame* CreateNavigationBar(int digit);
    void CreateResultColumn();
    void CreateSlot(int k);
    void LayoutResultColumn();
    void CentreAtDesignSize();
    void ConnectCommands();

    TMainFormOptions m_options;
    QString m_hint;
    IBrowserPane* m_browserPane = nullptr;
    std::unique_ptr<SearchController> m_client;
    bool m_shown = false;
    QSize m_placedSize;
    // The context of every connection from a component to a handler. It goes first when the
    // window is destroyed, so that no notice of a component reaches the search client or the
    // window once they are gone (the components themselves go last, with the QWidget base).
    QObject m_entryPoints;
};
