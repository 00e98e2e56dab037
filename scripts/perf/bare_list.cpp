// The anchor for the notes window's keys on the desktop: the least a Qt widgets program does to list
// the same entries and show the same changes. A filter field above a list view (default delegate,
// one line a row) of the entries' texts of a notes file, in the file's order. In the field, each
// key lists the texts that hold the field's text (a model reset); Escape clears it and goes back to
// the list, Ctrl+F comes to it. In the list, Space, Backspace, Ctrl+Z, Ctrl+Shift+Z, Ctrl+E and → replace the rows
// with the same, the current one changed (and back the next time): a model reset, as a list of
// changed rows is shown the stock way. The window is titled "plim", as the perf script looks for.
//   bare_list NOTES.md
#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QScrollBar>
#include <QShortcut>
#include <QStringListModel>
#include <QVBoxLayout>
#include <QWidget>

namespace {

class List final : public QListView {
public:
    QStringList texts[2];
    int shown = 0;
    QStringListModel rows;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        const int key = event->key();
        const bool ctrl = event->modifiers() & Qt::ControlModifier;
        const bool change = (!ctrl && (key == Qt::Key_Space || key == Qt::Key_Backspace || key == Qt::Key_Right)) ||
                            (ctrl && (key == Qt::Key_Z || key == Qt::Key_E));
        if (!change || texts[0].isEmpty()) {
            QListView::keyPressEvent(event);
            return;
        }
        const int row = std::max(0, currentIndex().row());
        const int top = visualRect(currentIndex()).top();
        texts[1] = texts[0];
        texts[1][row] = QStringLiteral("\u2713 ") + texts[1][row];
        shown ^= 1;
        rows.setStringList(texts[shown]);
        // The changed row stays where it stood.
        setCurrentIndex(model()->index(row, 0));
        scrollTo(currentIndex(), QAbstractItemView::PositionAtTop);
        if (top > 0) {
            verticalScrollBar()->setValue(verticalScrollBar()->value() - top / std::max(1, sizeHintForRow(0)));
        }
    }
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        return 2;
    }
    QFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::ReadOnly)) {
        return 1;
    }
    List list;
    QStringList all;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.startsWith("- [")) {
            const qsizetype comment = line.indexOf("  <!--");
            all << QString::fromUtf8(line.mid(6, comment < 0 ? -1 : comment - 6));
        }
    }
    list.texts[0] = all;
    list.rows.setStringList(all);
    list.setUniformItemSizes(true);
    list.setModel(&list.rows);
    list.setCurrentIndex(list.rows.index(0, 0));

    QWidget window;
    window.setWindowTitle(QStringLiteral("plim"));
    QLineEdit field;
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(&field);
    // The list starts where the notes window's does, below its header: the script reads from there.
    layout->addSpacing(40);
    layout->addWidget(&list);
    QObject::connect(&field, &QLineEdit::textChanged, &list, [&](const QString& text) {
        list.texts[0].clear();
        for (const QString& t : all) {
            if (t.contains(text, Qt::CaseInsensitive)) {
                list.texts[0] << t;
            }
        }
        list.shown = 0;
        list.rows.setStringList(list.texts[0]);
    });
    QShortcut find(QKeySequence(Qt::CTRL | Qt::Key_F), &window);
    QObject::connect(&find, &QShortcut::activated, &field, [&field] { field.setFocus(); });
    QShortcut back(QKeySequence(Qt::Key_Escape), &field);
    back.setContext(Qt::WidgetShortcut);
    QObject::connect(&back, &QShortcut::activated, &list, [&] {
        field.clear();
        list.setFocus();
    });
    window.resize(720, 780);
    window.show();
    list.setFocus();
    return QApplication::exec();
}
