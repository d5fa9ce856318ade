#pragma once
// TSelectPanel: a condition-entry panel for a range of values or a list of chosen values, with its
// inner TYenMaskEdit and TYenListView.
#include <QFrame>
#include <QLineEdit>
#include <QStringList>
#include <QTreeWidget>
#include <functional>

class QComboBox;
class QLabel;
class QToolButton;
class TF2Button;
class TSelectPanel;

enum TSelectStyle { sp_Range, sp_Discrete, sp_UserChoice };
enum TValueType { vt_String, vt_Number, vt_Date, vt_Time, vt_Float, vt_OtherMask };
enum TDateType { dt_NoneCare, dt_YYYYMMDD, dt_MMDDYYYY, dt_DDMMYYYY, dt_YYMMDD, dt_YYYMMDD };
enum TCheckDuplicate { cd_None, cd_CheckCase, cd_CaseInsensitive };

class TYenMaskEdit : public QLineEdit {
    Q_OBJECT
    Q_PROPERTY(QString Text READ text WRITE setText)
    Q_PROPERTY(QString Hint READ toolTip WRITE setToolTip)
    Q_PROPERTY(QString EditMask READ inputMask WRITE setInputMask)

public:
    explicit TYenMaskEdit(QWidget* parent = nullptr);
    // Text set by the panel itself: no change event.
    void SetTextSilently(const QString& text);
    void SetMaskSilently(const QString& mask);

signals:
    void Change();

private:
    bool FFilling = false;
};

class TYenListView : public QTreeWidget {
    Q_OBJECT
    Q_PROPERTY(QString Hint READ toolTip WRITE setToolTip)

public:
    explicit TYenListView(QWidget* parent = nullptr);
    // Appends a row: caption = first text, sub-items = the rest; adds columns "Data<n>" as needed.
    bool AddItem(const QStringList& texts);
    void Clear();
    // The texts of row i, caption first.
    QStringList Row(int index) const;

signals:
    void ListChanged();

protected:
    void mousePressEvent(QMouseEvent* event) override;
};

class TSelectPanel : public QFrame {
    Q_OBJECT
    Q_PROPERTY(bool AutoChangeDateSite MEMBER FAutoChangeDateSite)
    Q_PROPERTY(QStringList BeginWords READ BeginWords WRITE SetBeginWords)
    Q_PROPERTY(bool ColumnsAutoSize MEMBER FColumnsAutoSize)
    Q_PROPERTY(bool CanOpenWin READ CanOpenWin WRITE SetCanOpenWin)
    Q_PROPERTY(int CheckDuplicate MEMBER FCheckDuplicate)
    Q_PROPERTY(QStringList ChildHints READ ChildHints WRITE SetChildHints)
    Q_PROPERTY(QStringList ColumnCaptions READ ColumnCaptions WRITE SetColumnCaptions)
    Q_PROPERTY(int Columns READ Columns WRITE SetColumns)
    Q_PROPERTY(int DateType MEMBER FDateType)
    Q_PROPERTY(QString DateSign MEMBER FDateSign)
    Q_PROPERTY(QString Discard MEMBER FDiscard)
    Q_PROPERTY(QString EditMask READ EditMask WRITE SetEditMask)
    Q_PROPERTY(QStringList FinalWords READ FinalWords WRITE SetFinalWords)
    Q_PROPERTY(int GlyphIndex READ GlyphIndex WRITE SetGlyphIndex)
    Q_PROPERTY(QString HintWord READ HintWord WRITE SetHintWord)
    Q_PROPERTY(bool HideSelection MEMBER FHideSelection)
    Q_PROPERTY(QStringList Items READ Items WRITE SetItems)
    Q_PROPERTY(int OtherHeight MEMBER FOtherHeight)
    Q_PROPERTY(int OtherWidth MEMBER FOtherWidth)
    Q_PROPERTY(bool ShowColumnHeader READ ShowColumnHeader WRITE SetShowColumnHeader)
    Q_PROPERTY(bool SortListBox MEMBER FSortListBox)
    Q_PROPERTY(int Style READ Style WRITE SetStyle)
    Q_PROPERTY(bool UseDiscard MEMBER FUseDiscard)
    Q_PROPERTY(int UserChoice READ UserChoice WRITE SetUserChoice)
    Q_PROPERTY(bool UseVertical MEMBER FUseVertical)
    Q_PROPERTY(int ValueType MEMBER FValueType)
    Q_PROPERTY(QString StartText READ StartText WRITE SetStartText)
    Q_PROPERTY(QString EndText READ EndText WRITE SetEndText)
    Q_PROPERTY(QString Hint READ toolTip WRITE setToolTip)
    Q_PROPERTY(bool Enabled READ isEnabled WRITE setEnabled)
    Q_PROPERTY(bool Visible READ isVisible WRITE setVisible)
    Q_PROPERTY(QFont Font READ font WRITE setFont)

public:
    explicit TSelectPanel(QWidget* parent = nullptr);
    ~TSelectPanel() override;

    QStringList BeginWords() const { return FBeginWords; }
    void SetBeginWords(const QStringList& words);
    QStringList FinalWords() const { return FFinalWords; }
    void SetFinalWords(const QStringList& words);
    bool CanOpenWin() const { return FCanOpenWin; }
    void SetCanOpenWin(bool value);
    QStringList ChildHints() const { return FChildHints; }
    void SetChildHints(const QStringList& hints);
    QStringList ColumnCaptions() const { return FColumnCaptions; }
    void SetColumnCaptions(const QStringList& captions);
    int Columns() const { return FColumns; }
    void SetColumns(int value);
    QString EditMask() const { return FEditMask; }
    // Gives the mask to both edits, keeping the start edit's text, and remembers the empty-mask text.
    void SetEditMask(const QString& mask);
    int GlyphIndex() const { return FGlyphIndex; }
    void SetGlyphIndex(int value);
    QString HintWord() const { return FHintWord; }
    void SetHintWord(const QString& word);
    QStringList Items() const { return FItems; }
    void SetItems(const QStringList& items);
    bool ShowColumnHeader() const;
    void SetShowColumnHeader(bool value);
    int Style() const { return FStyle; }
    void SetStyle(int value);
    int UserChoice() const { return FUserChoice; }
    void SetUserChoice(int value);

    QString StartText() const;
    void SetStartText(const QString& text);
    QString EndText() const;
    void SetEndText(const QString& text);
    QString EmptyMaskText() const { return FEmptyMaskText; }

    TYenMaskEdit* StartEdit() const { return FStartEdit; }
    TYenMaskEdit* EndEdit() const { return FEndEdit; }
    TYenListView* ListView() const { return FListView; }
    // Adds a chosen value (one text per column); refused as a duplicate by CheckDuplicate.
    bool AddValue(const QStringList& texts);

    // Leaving the panel: trims and orders the range, then OnExit.
    void DoExit();

    // Events with an answer.
    std::function<void(TSelectPanel*, int current, int next, bool& accept)> OnStyleChanging;
    std::function<void(TSelectPanel*, bool& accept)> OnDeleteClick;
    std::function<void(TSelectPanel*, QTreeWidgetItem*, bool& allow)> OnItemChanging;

signals:
    void OnOpenWinClick(TSelectPanel* panel, QWidget* control);
    void OnClearClick(TSelectPanel* panel);
    void OnTypeClick(TSelectPanel* panel);
    void OnStyleChange(TSelectPanel* panel, int oldStyle, int newStyle);
    void OnExit(TSelectPanel* panel);
    void OnItemSelect(TSelectPanel* panel, QTreeWidgetItem* item, int index, bool selected);
    void OnItemChange(TSelectPanel* panel);
    // Keys pressed in the panel's parts.
    void OnKeyDown(TSelectPanel* panel, int key, int modifiers);
    void OnKeyUp(TSelectPanel* panel, int key, int modifiers);
    void OnKeyPress(TSelectPanel* panel, const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Relayout();
    void Relayout(int style);
    void ApplyHints();
    void ApplyWords();
    void FocusChanged(QWidget* old, QWidget* now);
    bool StartIsGreater(const QString& start, const QString& end) const;
    bool IsPlaceholder(const QString& text) const;
    void DeleteOne();
    void DeleteAll();

    bool FAutoChangeDateSite = false;
    QStringList FBeginWords{QStringLiteral("起")};
    bool FColumnsAutoSize = true;
    bool FCanOpenWin = true;
    int FCheckDuplicate = cd_None;
    QStringList FChildHints;
    QStringList FColumnCaptions;
    int FColumns = 1;
    int FDateType = dt_NoneCare;
    QString FDateSign = QStringLiteral("/");
    QString FDiscard;
    QString FEditMask;
    QString FEmptyMaskText;
    QStringList FFinalWords{QStringLiteral("止")};
    int FGlyphIndex = 8;
    QString FHintWord;
    bool FHideSelection = false;
    QStringList FItems;
    int FOtherHeight = 0;
    int FOtherWidth = 0;
    bool FSortListBox = false;
    int FStyle = sp_Range;
    bool FUseDiscard = false;
    int FUserChoice = sp_Range;
    bool FUseVertical = false;
    int FValueType = vt_String;
    bool FInside = false; // the focus of the panel's window is in the panel

    QComboBox* FStyleBox;
    QLabel* FStartLabel;
    TYenMaskEdit* FStartEdit;
    TF2Button* FStartButton;
    QLabel* FEndLabel;
    TYenMaskEdit* FEndEdit;
    TF2Button* FEndButton;
    QLabel* FListLabel;
    QLabel* FListEndLabel;
    TYenListView* FListView;
    QToolButton* FOpenButton;
    QToolButton* FDeleteButton;
    QToolButton* FClearButton;
};
