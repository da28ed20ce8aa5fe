#pragma once

#include "results/ClassFolder.h"

#include <QWidget>
#include <functional>
#include <memory>

class QCheckBox;
class QLabel;
class QPushButton;
class QTableWidget;

namespace kivora {

class ClassFolderWatch;
class GroupChartPicture;

// The class view an instructor puts on the projector: the group's chart as the report draws it
// (mean correct RT ± SE of the complete runs against disparity, a line per presentation time), a
// line of counts, and the table of runs (number, participant, trials answered, accuracy, the
// slope per presentation time of a complete run, and the state: complete, incomplete and maybe
// being written, or why the file cannot be read), filled in from the watch as the folder
// changes. Participants are shown by their numbers until "Show names" is ticked. The title
// carries the counts, so that the taskbar shows them. The texts and the chart grow with the
// window.
class ClassView : public QWidget {
    Q_OBJECT
public:
    explicit ClassView(ClassFolderWatch &watch, QWidget *parent = nullptr);

    // What "Write report" does; the button is disabled until one is given.
    void setReportWriter(std::function<void()> write);
    void showState(std::shared_ptr<const kivora::ClassState> state);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void fillTable();
    QString participant(const ClassRow &row) const;
    QString stateText(const ClassRow &row) const;

    std::shared_ptr<const ClassState> m_state;
    std::function<void()> m_writeReport;
    QLabel *m_counts;
    QLabel *m_folder;
    QLabel *m_unreachable;
    GroupChartPicture *m_chart;
    QTableWidget *m_table;
    QCheckBox *m_showNames;
    QPushButton *m_write;
};

} // namespace kivora
