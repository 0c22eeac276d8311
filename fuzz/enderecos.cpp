// The endpoint and host tables an installation may put over the built-in ones ($QEL_DFE_ENDERECOS,
// $QEL_DFE_HOSTS): the rows read over the built-in tables, then every kind of request looked up.

#include "ws/enderecos.h"
#include "apoio_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* dados, size_t tamanho) {
    using namespace qel;
    static const TabelaEnderecos embutida = TabelaEnderecos::carrega(ConfiguracaoRede{});
    const QString texto = fuzz::texto(dados, tamanho);
    TabelaEnderecos tabela = embutida;
    tabela.leEnderecos(texto, QStringLiteral("enderecos"));
    tabela.leHosts(texto, QStringLiteral("hosts"));
    for (const TipoDocumento tipo :
         {TipoDocumento::NFe, TipoDocumento::CTe, TipoDocumento::NFSe, TipoDocumento::DOT}) {
        for (int s = static_cast<int>(Servico::Status); s <= static_cast<int>(Servico::QrCode); ++s) {
            for (const Ambiente ambiente : {Ambiente::Producao, Ambiente::Homologacao}) {
                ChaveEndpoint chave;
                chave.tipo = tipo;
                chave.servico = static_cast<Servico>(s);
                chave.cUF = QStringLiteral("43");
                chave.ufConsulta = QStringLiteral("RS");
                chave.municipio = QStringLiteral("4314902");
                chave.ambiente = ambiente;
                Endpoint endpoint;
                tabela.Endereco_WebService(chave, endpoint);
            }
        }
        tabela.enderecoQr(tipo, QStringLiteral("43"), Ambiente::Homologacao);
    }
    tabela.hostDoPapel(QStringLiteral("svrs-nfe"), Ambiente::Producao);
    return 0;
}
