// CONFIGURAR: the configuration dialog of the company, over its settings.

#include "flows/fluxos.h"
#include "flows/operacoes.h"

using namespace Qt::StringLiterals;

namespace qel {

namespace {

// What the dialog's buttons ask of the run.
class AcoesDaTarefa : public AcoesConfiguracao {
public:
    explicit AcoesDaTarefa(Operacoes& op) : op_(op) {}
    bool selecionaCertificado(UsoCertificado uso) override { return op_.Selecionar_Certificado(uso, true); }
    QString escolheImpressora() override {
        return op_.Mostra_Mensagem(ModoResultado::Impressoras, QString(), QString(), QString());
    }
    void salva() override {
        // The dialog closes whatever happens; a file that could not be written is said in the log.
        if (!gravaConfiguracao(op_.pastas(), op_.cfg()))
            op_.registro().anota(u"Não foi possível gravar as configurações da empresa"_s);
    }

private:
    Operacoes& op_;
};

} // namespace

Passo configura(Operacoes& op) {
    AcoesDaTarefa acoes(op);
    if (!op.ui().configuracao(op.cfg(), op.ctx(), acoes)) {
        op.Mostra_Status(u"A configuração precisa da janela do programa"_s);
        return {Desfecho::Recusada, {}};
    }
    return {};
}

} // namespace qel
