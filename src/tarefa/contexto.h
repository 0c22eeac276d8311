#pragma once

// The values of one task run. The windows of the Windows-era program kept them in their
// fields; here one object owned by the run holds them, so every step runs without a display.
// Names are the ones the task flows and the calling application's documents use; fixed codes
// are typed (util/codigos.h) and keep their spelling where they are shown or written.

#include "util/codigos.h"

#include <QString>
#include <QStringList>

namespace qel {

struct ContextoExecucao {
    // Shown on the main window.
    QString Tarefa;
    QString CNPJ;
    QString UF;
    QString cUF;
    TipoDocumento Tipo = TipoDocumento::Nenhum;
    QString Arquivo_Uso;

    // Run modes: the environment ("Homologacao.Qel" in the working folder), and the test modes
    // that ask before a transmission ("Teste.NFe" / "Teste.CTe" in the local folder).
    Ambiente ambiente = Ambiente::Producao;
    bool TesteNFe = false;
    bool TesteCTe = false;

    // Task values (one per keyword of the task file).
    QString Protocolo;
    QString Justificativa;
    QString Contingencia;              // CONTINGENCIA: over the company's setting
    QString JustificativaContingencia; // JUSTIFICATIVA CONTINGENCIA
    QString CCe_Condicao;
    QString Seq_Evento;
    QString Arquivo;
    QString TpEvento;
    QString Ano_Mes;
    QString Doc_Consulta;
    QString UF_Consulta;
    QString InscricaoMunicipal;
    QString NroInicial;
    QString NroFinal;
    QString Ano;
    QString Serie;
    QString Modelo;
    QString UFEncerramento;
    QString MunEncerramento;
    QString Cat_Pedagio;
    QString Tipo_Rota;
    QStringList Tb_Correcao;
    QStringList TbCidadeRota;

    // Line lists.
    QStringList LbQel;
    QStringList LbXML;
    QStringList LbRetorno;
    QStringList LB_Apresentacao;

    // Values shared by the whole run.
    QString CHAVE;            // access key (also receipt number or transport GUID while polled)
    QString CODIGO_MUNICIPIO; // IBGE municipality code that selects the NFS-e provider
    QString NomePDF;          // task PDF name (keyword PDF)
    QString ArquivoDocumento; // the document file taken at intake
    QString NomeBase;         // the document file without its extension
    QString PrefixoPDF;       // set by the print routines

    // Folders, native paths ending with "/".
    QString PastaLocal;
    QString PastaServidor;
    QString PastaTrabalho;
};

} // namespace qel
