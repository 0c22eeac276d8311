// The signing utility for integrators: qel-dfe --assinar.

#include "app/execucao.h"
#include "sign/assinatura.h"
#include "tarefa/identificacao.h"
#include "util/arquivos.h"
#include "util/erros.h"

#include <cstdio>

using namespace Qt::StringLiterals;

namespace qel {

int ExecucaoTarefa::assinaArquivo(const QString& arquivo, const QString& cnpj, const QString& chave) {
    try {
        op_.reinicia(pastaLocal());
        if (!determinaPastas()) return 1;
        ctx_.CNPJ = cnpj;
        ctx_.CHAVE = chave;
        ctx_.Arquivo_Uso = arquivo;
        if (!cnpj.trimmed().isEmpty()) op_.carregaConfiguracao();

        // The text as a web-service call prepares a document: every line trimmed, joined. It stays
        // in UTF-8 from the file to the output: a large document is not copied through QString.
        QByteArray texto = lerTextoJuntoUtf8(caminhoNativo(arquivo));
        Identifica_Municipio(ctx_, QString::fromUtf8(texto));
        texto = limpaParaAssinatura(std::move(texto));
        if (!localAssinatura(QByteArrayView(texto), ctx_.CHAVE, ctx_.CODIGO_MUNICIPIO).reconhecido) {
            ui_.erro(u"O documento "_s + arquivo + u" não é de um tipo que o Qel DFe assina."_s);
            return 1;
        }
        if (!op_.Selecionar_Certificado(UsoCertificado::Documentos, false)) return 1;
        QByteArray assinado = op_.assinaUtf8(std::move(texto));
        if (assinado.isEmpty()) return 1;
        assinado.append('\n');
        std::fwrite(assinado.constData(), 1, static_cast<size_t>(assinado.size()), stdout);
        std::fflush(stdout);
        return 0;
    } catch (const ErroInesperado& e) {
        ui_.erro(e.texto());
        return 2;
    }
}

} // namespace qel
