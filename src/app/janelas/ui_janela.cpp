#include "app/janelas/ui_janela.h"

#include "app/impressao_fila.h"
#include "app/janelas/seletor_certificado.h"

#include "relatorio/relatorio.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrinter>

using namespace Qt::StringLiterals;

namespace qel {

void UiJanela::status(const QString& linha, const ContextoExecucao& ctx) {
    janela_.adicionaStatus(linha);
    janela_.mostraCampos(ctx);
}

void UiJanela::campos(const ContextoExecucao& ctx) {
    janela_.mostraCampos(ctx);
}

std::optional<QString> UiJanela::resultado(const ConteudoResultado& conteudo) {
    return dialogo_.mostra(conteudo);
}

void UiJanela::aviso(const QString& texto) {
    QMessageBox::information(&janela_, u"Qel (DFe)"_s, texto);
}

void UiJanela::erro(const QString& texto) {
    QMessageBox::critical(&janela_, u"Qel (DFe)"_s, texto);
}

std::optional<QString> UiJanela::escolheArquivo(const QString& pastaInicial) {
    const QString arquivo =
        QFileDialog::getOpenFileName(&janela_, QString(), pastaInicial, u"Arquivos XML (*.XML *.xml)"_s);
    if (arquivo.isEmpty()) return std::nullopt;
    return arquivo;
}

QStringList UiJanela::impressoras() {
    return impressorasInstaladas();
}

} // namespace qel

namespace qel {

std::optional<qsizetype> UiJanela::escolheCertificado(const QList<ResumoCertificado>& certificados) {
    return escolheCertificadoNaJanela(&janela_, certificados);
}

bool UiJanela::configuracao(ConfiguracaoEmpresa& cfg, const ContextoExecucao& ctx, AcoesConfiguracao& acoes) {
    configuracao_.mostra(cfg, ctx, acoes);
    return true;
}

} // namespace qel

namespace qel {

void UiJanela::visualiza(const Relatorio& relatorio, const DestinoImpressao& destino,
                         bool comDialogoImpressora) {
    // The preview prints where and how a direct print would: the printer of the settings, the
    // template's paper, the whole page.
    QPrinter impressora(QPrinter::HighResolution);
    preparaImpressora(impressora, relatorio, destino);
    QPrintPreviewDialog previa(&impressora, &janela_);
    previa.setWindowState(Qt::WindowMaximized);
    Q_UNUSED(comDialogoImpressora); // the preview's own print button always opens the printer dialog
    QObject::connect(&previa, &QPrintPreviewDialog::paintRequested, &previa,
                     [&relatorio](QPrinter* alvo) { relatorio.desenhaEm(*alvo, alvo->resolution()); });
    previa.exec();
}

bool UiJanela::imprime(const Relatorio& relatorio, const DestinoImpressao& destino) {
    return imprimeNaFila(relatorio, destino);
}

} // namespace qel
