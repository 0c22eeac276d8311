// The company files: the server and local settings files and the company data file, each read
// from the same bytes as the run reads them.

#include "apoio_fuzz.h"
#include "config/configuracao_empresa.h"
#include "config/dados_empresa.h"
#include "util/erros.h"

#include <QDir>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* dados, size_t tamanho) {
    using namespace qel;
    const PastasEmpresa pastas{fuzz::pasta() + QStringLiteral("local/"),
                               fuzz::pasta() + QStringLiteral("trabalho/"),
                               QStringLiteral("11.222.333/0001-81")};
    static const bool criadas = QDir().mkpath(pastas.local + QStringLiteral("INI")) &&
                                QDir().mkpath(pastas.trabalho + QStringLiteral("INI"));
    if (!criadas) fuzz::falha("folders");
    const QByteArray arquivo = fuzz::bytes(dados, tamanho);
    for (const QString& caminho :
         {arquivoConfiguracaoServidor(pastas), arquivoConfiguracaoLocal(pastas), arquivoDadosEmpresa(pastas)})
        fuzz::grava(caminho.mid(fuzz::pasta().size()), arquivo);

    ConfiguracaoEmpresa cfg;
    carregaConfiguracao(pastas, cfg);
    DadosEmpresa empresa;
    empresa.reinicia();
    Carrega_Dados_DFe(pastas, empresa);
    try {
        margemNFCe(cfg);
        for (const QString* copias : {&cfg.NFe_Copias, &cfg.CTe_Copias, &cfg.MDF_Copias, &cfg.NFCE_Copias})
            numeroConfiguracao(*copias);
    } catch (const ErroInesperado&) {
        // A number the dialog would not accept: the run shows it.
    }
    return 0;
}
