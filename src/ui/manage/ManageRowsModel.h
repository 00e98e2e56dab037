#pragma once

#include "ui/manage/ManageModel.h"

#include <QAbstractListModel>

namespace plim {

// The model's rows as a Qt list model: each row is read from the model when it is asked for, so a
// long list costs only the rows on screen.
class ManageRowsModel final : public QAbstractListModel {
    Q_OBJECT
public:
    explicit ManageRowsModel(ManageModel& model, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    ManageModel::Row row(int index) const { return model_.list().rowAt(index); }
    // The list row of an entry, -1 when it is not listed.
    int rowOf(const QUuid& id) const { return model_.list().rowIndex(id); }
    // The model's list changed: every row is read again.
    void refresh();

private:
    ManageModel& model_;
};

} // namespace plim
