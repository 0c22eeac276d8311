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

        // The text as a web-service call prepares a document: every line trimmed, joined.
        QString texto;
        for (const QString& linha : lerLinhas(caminhoNativo(arquivo)))
            texto += linha.trimmed();
        Identifica_Municipio(ctx_, texto);
        if (!localAssinatura(limpaParaAssinatura(texto), ctx_.CHAVE, ctx_.CODIGO_MUNICIPIO).reconhecido) {
            ui_.erro(u"O documento "_s + arquivo + u" não é de um tipo que o Qel DFe assina."_s);
            return 1;
        }
        if (!op_.Selecionar_Certificado(UsoCertificado::Documentos, false)) return 1;
        const QString assinado = op_.Assinar_XML(texto);
        if (assinado.isEmpty()) return 1;
        std::fputs(assinado.toUtf8().append('\n').constData(), stdout);
        std::fflush(stdout);
        return 0;
    } catch (const ErroInesperado& e) {
        ui_.erro(e.texto());
        return 2;
    }
}

} // namespace qel
