#pragma once

#include <QPointer>
#include <QVariant>
#include <QVector>
#include <QWidget>

class CameraSession;
class ParamRow;
class ParamWrap;
class QBoxLayout;
class QLabel;

// An editor generated from the parameter descriptors of a camera
// (pluginParams()), one row per descriptor in their order (paramrow.h).
//
// Every edit writes through the descriptor, calls paramsChanged() and has
// every editor of the camera re-read all values; a value the camera (or the
// descriptor's range) changed from what was asked is marked for a moment.
//
// Full mode shows the rows the level filter lets through, each with a "show
// while running" pin; RunPanel mode shows the pinned rows only, compactly.
//
// Threading: UI thread only, the thread that owns the camera. Rows keep
// descriptor indices, never pointers: the list is re-read at every use.
class ParamEditor : public QWidget
{
    Q_OBJECT
public:
    enum class Mode { Full, RunPanel };
    // Basic shows levels 0 and 1, expert every level.
    enum class Level { Basic, Expert };

    explicit ParamEditor(Mode mode, QWidget *parent = nullptr);
    ~ParamEditor() override;

    void setSession(CameraSession *session);
    CameraSession *session() const { return current; }
    void setLevel(Level level);
    Level level() const { return filter; }

    // The rows built, in descriptor order; each carries the properties
    // "paramIndex", "paramKind" and "paramLevel", and "adjusted" while marked.
    QList<QWidget *> rows() const;
    // The row of a descriptor; null when this editor has none for it.
    QWidget *rowFor(int descriptorIndex) const;

    static constexpr int kMarkMs = 1500;

public slots:
    void rebuild();
    void refresh();

signals:
    void rowsChanged();

private:
    void clearRows();
    void addRow(int index, ParamWrap *p);
    void applyFilter();
    void updateEnabled();
    ParamWrap *descriptor(int index) const;
    void display(ParamRow *row, ParamWrap *p);
    void commit(int index, const QVariant &requested);
    void onValuesChanged(int editedIndex, const QVariant &requested);

    Mode mode;
    Level filter = Level::Basic;
    QPointer<CameraSession> current;
    QVector<ParamRow *> built;
    QBoxLayout *body;
    QLabel *empty;
    QLabel *legend = nullptr;
    // Rows of an earlier build, still queued for deletion, see another generation.
    quint64 generation = 0;
    // While values are shown, the widgets' signals are not edits.
    bool refreshing = false;
};
