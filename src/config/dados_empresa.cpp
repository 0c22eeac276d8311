#include "config/dados_empresa.h"

#include "config/configuracao_empresa.h"
#include "util/arquivos.h"
#include "util/linha_chave.h"
#include "util/texto.h"

using namespace Qt::StringLiterals;

namespace qel {

void Carrega_Dados_DFe(const PastasEmpresa& pastas, DadosEmpresa& dados) {
    const QString caminho = arquivoDadosEmpresa(pastas);
    if (!existeArquivo(caminho)) return;
    dados.cortaAtividades();
    for (const QString& linha : lerLinhas(caminho)) {
        if (casaChave(linha, u"NOME", 4)) {
            dados.linhas[0] = dados.nome = valorChave(linha, 4);
        } else if (casaChave(linha, u"ENDERECO", 8)) {
            dados.linhas[1] = valorChave(linha, 8);
        } else if (casaChave(linha, u"CIDADE", 6)) {
            dados.linhas[2] = dados.municipio = valorChave(linha, 6);
        } else if (casaChave(linha, u"FONE", 4)) {
            dados.linhas[3] = dados.fone = Formata_Fone(valorChave(linha, 4));
        } else if (casaChave(linha, u"CEP", 3)) {
            dados.linhas[4] = valorChave(linha, 3);
        } else if (casaChave(linha, u"EMAIL", 5)) {
            dados.linhas[5] = valorChave(linha, 5);
        } else if (casaChave(linha, u"BAIRRO", 6)) {
            dados.linhas[6] = valorChave(linha, 6);
        }
        if (casaChave(linha, u"ITEM", 4))
            dados.linhas.append(u"ITEM "_s + Copia(linha, 6, 80));
        else if (casaChave(linha, u"CNAE", 4))
            dados.linhas.append(u"CNAE "_s + Copia(linha, 6, 80));
    }
}

} // namespace qel
