// The XML line reader the printouts fetch a document's values through.

#include "util/leitor_xml.h"
#include "apoio_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* dados, size_t tamanho) {
    using namespace qel;
    const QString texto = fuzz::texto(dados, tamanho).trimmed();
    if (!texto.startsWith(QLatin1Char('<'))) return 0; // anything else is a path
    for (const char* tipo : {"NFe", "CTe"}) {
        LeitorXml leitor(QString::fromLatin1(tipo));
        leitor.Carrega_XML(texto);
        for (const char* nome :
             {"Chave de Acesso", "Versao", "QRCode", "Tipo de Documento", "*nNF", "<infNFe"})
            leitor.Busca_Valor(QString::fromLatin1(nome));
        leitor.Busca_Valor(QStringLiteral("*xNome"), QStringLiteral("Ultimo"));
        leitor.Busca_Valor(QStringLiteral("infEvento"), QStringLiteral("EVT"));
        for (const char* grupo : {"ide", "emit", "det", "infProt"}) {
            if (!leitor.Seleciona_Grupo(QString::fromLatin1(grupo))) continue;
            leitor.Busca_Valor(QStringLiteral("xNome"));
            leitor.Busca_Valor(QStringLiteral("vProd"), QStringLiteral("prod"), 1);
            leitor.Busca_Valor(QStringLiteral("Nome xCampo"));
        }
    }
    return 0;
}
