#pragma once

// A user interface whose answers the test scripts: dialogs take their answers from a queue
// (an absent answer stands for the window's close box), everything shown is kept.

#include "flows/interface_usuario.h"

#include <deque>
#include <functional>
#include <vector>

struct UiRoteirizada : qel::InterfaceUsuario {
    std::deque<std::optional<QString>> respostas;
    std::vector<qel::ConteudoResultado> mostrados;
    QStringList status_;
    std::optional<qsizetype> certificadoEscolhido;
    QList<qel::ResumoCertificado> certificadosOferecidos;
    std::function<bool(qel::ConfiguracaoEmpresa&, qel::AcoesConfiguracao&)> dialogoConfiguracao;

    void status(const QString& linha, const qel::ContextoExecucao&) override { status_ << linha; }
    void campos(const qel::ContextoExecucao&) override {}
    std::optional<QString> resultado(const qel::ConteudoResultado& c) override {
        mostrados.push_back(c);
        if (respostas.empty()) return QStringLiteral("OK");
        auto r = respostas.front();
        respostas.pop_front();
        return r;
    }
    void aviso(const QString&) override {}
    void erro(const QString& texto) override { status_ << QStringLiteral("ERRO: ") + texto; }
    std::optional<QString> escolheArquivo(const QString&) override { return std::nullopt; }
    QStringList impressoras() override { return {QStringLiteral("HP_LaserJet"), QStringLiteral("QelPDF")}; }
    std::optional<qsizetype> escolheCertificado(const QList<qel::ResumoCertificado>& c) override {
        certificadosOferecidos = c;
        return certificadoEscolhido;
    }
    int previas = 0;
    QStringList impressorasDasPrevias;
    void visualiza(const qel::Relatorio&, const qel::DestinoImpressao& destino, bool) override {
        ++previas;
        impressorasDasPrevias << destino.impressora;
    }
    // Printing on a queue is the program interface's; a scripted run prints nowhere.
    bool imprime(const qel::Relatorio&, const qel::DestinoImpressao&) override { return false; }
    bool configuracao(qel::ConfiguracaoEmpresa& cfg, const qel::ContextoExecucao&,
                      qel::AcoesConfiguracao& acoes) override {
        return dialogoConfiguracao ? dialogoConfiguracao(cfg, acoes) : false;
    }
};
