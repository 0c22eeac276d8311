#include "app/janelas/seletor_certificado.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace qel {

std::optional<qsizetype> escolheCertificadoNaJanela(QWidget* pai,
                                                    const QList<ResumoCertificado>& certificados) {
    QDialog dialogo(pai);
    dialogo.setWindowTitle(u"Certificados"_s);
    dialogo.resize(820, 320);
    auto* tabela = new QTableWidget(static_cast<int>(certificados.size()), 4, &dialogo);
    tabela->setHorizontalHeaderLabels({u"Emitido para"_s, u"Emitido por"_s, u"Válido de"_s, u"Válido até"_s});
    tabela->setSelectionBehavior(QAbstractItemView::SelectRows);
    tabela->setSelectionMode(QAbstractItemView::SingleSelection);
    tabela->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tabela->verticalHeader()->hide();
    tabela->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    tabela->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    for (int i = 0; i < tabela->rowCount(); ++i) {
        const ResumoCertificado& c = certificados.at(i);
        tabela->setItem(i, 0, new QTableWidgetItem(c.sujeito));
        tabela->setItem(i, 1, new QTableWidgetItem(c.emissor));
        tabela->setItem(i, 2, new QTableWidgetItem(c.validoDe.toLocalTime().toString(u"dd/MM/yyyy"_s)));
        tabela->setItem(i, 3, new QTableWidgetItem(c.validoAte.toLocalTime().toString(u"dd/MM/yyyy"_s)));
    }
    if (tabela->rowCount() > 0) tabela->selectRow(0);
    auto* botoes = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialogo);
    QObject::connect(botoes, &QDialogButtonBox::accepted, &dialogo, &QDialog::accept);
    QObject::connect(botoes, &QDialogButtonBox::rejected, &dialogo, &QDialog::reject);
    QObject::connect(tabela, &QTableWidget::cellDoubleClicked, &dialogo, &QDialog::accept);
    auto* layout = new QVBoxLayout(&dialogo);
    layout->addWidget(new QLabel(u"Selecione o Certificado:"_s));
    layout->addWidget(tabela);
    layout->addWidget(botoes);
    if (dialogo.exec() != QDialog::Accepted || tabela->currentRow() < 0) return std::nullopt;
    return tabela->currentRow();
}

} // namespace qel
