#include "app/janelas/ui_janela.h"

#include "app/impressoras.h"
#include "app/janelas/seletor_certificado.h"

#include "ui/relatorio/relatorio.h"

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

void UiJanela::visualiza(const Relatorio& relatorio, bool comDialogoImpressora) {
    QPrinter impressora(QPrinter::HighResolution);
    QPrintPreviewDialog previa(&impressora, &janela_);
    previa.setWindowState(Qt::WindowMaximized);
    Q_UNUSED(comDialogoImpressora); // the preview's own print button always opens the printer dialog
    QObject::connect(&previa, &QPrintPreviewDialog::paintRequested, &previa, [&relatorio](QPrinter* destino) {
        QPainter pintor(destino);
        for (qsizetype i = 0; i < relatorio.paginas(); ++i) {
            if (i > 0) destino->newPage();
            Relatorio::desenhaPagina(pintor, relatorio.pagina(i), destino->resolution());
        }
    });
    previa.exec();
}

} // namespace qel
