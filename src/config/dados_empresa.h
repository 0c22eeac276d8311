#pragma once

#include "config/configuracao_empresa.h"

#include <QStringList>

namespace qel {

// Identification of the issuing company: slots 0 to 6 hold name, address, municipality, phone,
// postal code, e-mail and neighbourhood; then come the activity lines ("ITEM ..." / "CNAE ...").
struct DadosEmpresa {
    QStringList linhas;
    QString nome;
    QString municipio;
    QString fone;

    // Back to the seven empty slots of the identification (activity lines dropped).
    void reinicia() { linhas = QStringList(7); }
    // Keeps the seven slots, drops the activity lines.
    void cortaAtividades() {
        while (linhas.size() > 7)
            linhas.removeLast();
        while (linhas.size() < 7)
            linhas.append(QString());
    }
};

// Reads the company data file into dados; a missing file leaves dados as it is.
void Carrega_Dados_DFe(const PastasEmpresa& pastas, DadosEmpresa& dados);

} // namespace qel
