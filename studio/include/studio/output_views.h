#pragma once
// What a job's outputs will be, shown from the bytes made in memory: the
// atlas's pages as pictures, and the pieces of a web font as a table.

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QWidget>

#include <string>
#include <vector>

#include "messages/language.h"

class QAction;
class QComboBox;
class QLabel;
class QScrollArea;
class QStackedWidget;
class QStandardItemModel;
class QTableView;

namespace charlib::studio {

struct AtlasPage {
    QString name;  // "ui_0.png"
    QByteArray png;
};

class PageCanvas;

// The atlas's pages, one at a time, drawn on a dark checkerboard so that
// white glyphs on a transparent page show; zoomed from 25% to 800%.
class AtlasPagesView : public QWidget {
    Q_OBJECT
public:
    explicit AtlasPagesView(Language language, QWidget* parent = nullptr);

    // Keeps the page shown (by its name, else its number) and the zoom.
    void setPages(std::vector<AtlasPage> pages);
    // Shown instead of the pages: "Making the atlas…", or why there are none.
    void setMessage(const QString& text);

    void showPage(int index);
    double zoom() const { return zoom_; }
    void zoomIn();
    void zoomOut();
    void zoomToActualSize();
    // The largest zoom at which the whole page fits the view.
    void zoomToFit();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showCurrentPage();
    // Zooms keeping the point `anchor` of the viewport over the same pixel.
    void setZoom(double zoom, QPoint anchor);
    void updateControls();

    Language language_;
    std::vector<AtlasPage> pages_;
    int current_ = 0;
    QImage image_;  // the current page decoded; null when it cannot be
    double zoom_ = 1.0;

    QComboBox* chooser_;
    QStackedWidget* stack_;
    QScrollArea* scroll_;
    PageCanvas* canvas_;
    QLabel* message_;
    QLabel* info_;
    QLabel* zoomLabel_;
    QAction* zoomInAction_;
    QAction* zoomOutAction_;
    QAction* actualSizeAction_;
    QAction* fitAction_;
};

struct WebPieceRow {
    QString file;
    std::u32string characters;
    qint64 bytes = 0;
    bool kept = false;  // the same file as the earlier cut's
    bool punctuation = false;
};

// The pieces a web font is cut into, with a total line under them. Ctrl+C
// copies the selected rows' file names and characters.
class WebPiecesTable : public QWidget {
    Q_OBJECT
public:
    explicit WebPiecesTable(Language language, QWidget* parent = nullptr);

    void setPieces(std::vector<WebPieceRow> rows);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void copySelection();

    Language language_;
    QStandardItemModel* model_;
    QTableView* table_;
    QLabel* total_;
};

}  // namespace charlib::studio
