#include "app/ui_sem_janela.h"

#include "app/execucao.h"
#include "app/impressao_fila.h"

using namespace Qt::StringLiterals;

namespace qel {

void UiSemJanela::escreve(const QString& linha) {
    std::fputs(linha.toUtf8().append('\n').constData(), saida_);
    std::fflush(saida_);
}

void UiSemJanela::status(const QString& linha, const ContextoExecucao&) {
    escreve(linha);
}

void UiSemJanela::campos(const ContextoExecucao& ctx) {
    escreve(linhaCampos(ctx));
}

std::optional<QString> UiSemJanela::resultado(const ConteudoResultado& conteudo) {
    escreve(conteudo.titulo);
    for (const QString& linha : conteudo.linhasMensagem)
        escreve(linha);
    for (const QString& linha : conteudo.linhasPrincipal)
        escreve(linha);
    if (conteudo.titulo.startsWith(u"Teste DFe"_s))
        return qEnvironmentVariable("QEL_DFE_RESPOSTA") == u"Sim"_s ? u"Sim"_s : u"Nao"_s;
    return u"OK"_s;
}

void UiSemJanela::aviso(const QString& texto) {
    escreve(texto);
}

void UiSemJanela::erro(const QString& texto) {
    std::fputs((u"Erro: "_s + texto).toUtf8().append('\n').constData(), stderr);
    std::fflush(stderr);
}

std::optional<QString> UiSemJanela::escolheArquivo(const QString&) {
    return std::nullopt;
}

QStringList UiSemJanela::impressoras() {
    return impressorasInstaladas();
}

// Without a window there is nobody to pick a certificate or to edit the settings.
std::optional<qsizetype> UiSemJanela::escolheCertificado(const QList<ResumoCertificado>&) {
    return std::nullopt;
}

bool UiSemJanela::configuracao(ConfiguracaoEmpresa&, const ContextoExecucao&, AcoesConfiguracao&) {
    return false;
}

void UiSemJanela::visualiza(const Relatorio&, const DestinoImpressao&, bool) {
    escreve(u"Pré-visualização ignorada: sem janela"_s);
}

bool UiSemJanela::imprime(const Relatorio& relatorio, const DestinoImpressao& destino) {
    return imprimeNaFila(relatorio, destino);
}

} // namespace qel
