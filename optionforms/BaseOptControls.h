#pragma once
// Standard controls of the batch and report option forms with the property names their language files
// and the code converter use (Caption, Hint, Checked, ...), so a form's texts can be relabelled at run time.
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

class TOptGroupBox : public QGroupBox {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ title WRITE setTitle)
    Q_PROPERTY(QString Hint READ toolTip WRITE setToolTip)
    Q_PROPERTY(bool Enabled READ isEnabled WRITE setEnabled)
    Q_PROPERTY(bool Visible READ isVisible WRITE setVisible)
    Q_PROPERTY(QFont Font READ font WRITE setFont)

public:
    TOptGroupBox(const QString& caption, QWidget* parent) : QGroupBox(caption, parent) {}
};

class TOptLabel : public QLabel {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ text WRITE setText)
    Q_PROPERTY(QString Hint READ toolTip WRITE setToolTip)
    Q_PROPERTY(bool Visible READ isVisible WRITE setVisible)
    Q_PROPERTY(QFont Font READ font WRITE setFont)

public:
    TOptLabel(const QString& caption, QWidget* parent) : QLabel(caption, parent) {}
};

class TOptButton : public QPushButton {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ text WRITE setText)
    Q_PROPERTY(QString Hint READ toolTip WRITE setToolTip)
    Q_PROPERTY(bool Enabled READ isEnabled WRITE setEnabled)
    Q_PROPERTY(bool Visible READ isVisible WRITE setVisible)
    Q_PROPERTY(bool Down READ isChecked WRITE setChecked)
    Q_PROPERTY(QFont Font READ font WRITE setFont)

public:
    TOptButton(const QString& caption, QWidget* parent) : QPushButton(caption, parent) {}
};

class TOptCheckBox : public QCheckBox {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ text WRITE setText)
    Q_PROPERTY(QString Hint READ toolTip WRITE setToolTip)
    Q_PROPERTY(bool Checked READ isChecked WRITE setChecked)
    Q_PROPERTY(bool Enabled READ isEnabled WRITE setEnabled)
    Q_PROPERTY(bool Visible READ isVisible WRITE setVisible)
    Q_PROPERTY(QFont Font READ font WRITE setFont)

public:
    TOptCheckBox(const QString& caption, QWidget* parent) : QCheckBox(caption, parent) {}
};

class TOptRadioButton : public QRadioButton {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ text WRITE setText)
    Q_PROPERTY(QString Hint READ toolTip WRITE setToolTip)
    Q_PROPERTY(bool Checked READ isChecked WRITE setChecked)
    Q_PROPERTY(bool Enabled READ isEnabled WRITE setEnabled)
    Q_PROPERTY(bool Visible READ isVisible WRITE setVisible)
    Q_PROPERTY(QFont Font READ font WRITE setFont)

public:
    TOptRadioButton(const QString& caption, QWidget* parent) : QRadioButton(caption, parent) {}
};

// A page of the option pages whose caption is its tab's text.
class TOptTabSheet : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)

public:
    explicit TOptTabSheet(const QString& caption, QWidget* parent = nullptr)
        : QWidget(parent), FCaption(caption) {}
    QString Caption() const { return FCaption; }
    void SetCaption(const QString& caption);

private:
    QString FCaption;
};
