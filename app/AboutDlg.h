#pragma once

#include <QDialog>
#include <QLabel>

// Static text that reports double-clicks.
class CClickLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

signals:
    void DoubleClicked();

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};

// "About Scoutcam": version, and on a double-click on the version the build's date and time.
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    CClickLabel* VersionLabel() const { return m_version; }
    QLabel* BuildLabel() const { return m_build; }

private:
    void OnVersionDoubleClicked();

    CClickLabel* m_version;
    QLabel* m_build;
};

// "Built on" and the compiler's date and time of this build.
QString BuildStamp();
