#include "ui/manage/ManageRowsModel.h"

#include "ui/manage/ManageTexts.h"

namespace plim {

using Kind = ManageModel::Row::Kind;

ManageRowsModel::ManageRowsModel(ManageModel& model, QObject* parent)
    : QAbstractListModel(parent)
    , model_(model) {}

int ManageRowsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : model_.list().rowCount();
}

QVariant ManageRowsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= model_.list().rowCount()) {
        return {};
    }
    const ManageModel::Row row = model_.list().rowAt(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return row.kind == Kind::Entry ? row.entry.text : row.heading;
    case Qt::AccessibleTextRole:
        return ManageTexts::spokenRow(model_, row).name;
    case Qt::AccessibleDescriptionRole:
        return ManageTexts::spokenRow(model_, row).description;
    default:
        return {};
    }
}

Qt::ItemFlags ManageRowsModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    // Editable so that the view keeps the in-place editor open on it.
    return model_.list().rowAt(index.row()).kind == Kind::Entry ? Qt::ItemIsEnabled | Qt::ItemIsEditable
                                                                : Qt::ItemIsEnabled;
}

void ManageRowsModel::refresh() {
    beginResetModel();
    endResetModel();
}

} // namespace plim
