#pragma once

// A prepared report: the pages (filled templates) and what can be done with them.

#include "relatorio/modelo.h"

#include <QDateTime>

#include <QList>
#include <QString>

class QPainter;
class QPagedPaintDevice;
class QPageSize;

namespace qel {

struct InformacaoPdf {
    QString titulo;
    QString autor;
    QString assunto;
    QString criador;
    QString produtor;
    QDateTime criacao; // the document's creation date; none when invalid
};

// The grid barcode and QR code modules are laid on, so each module is the same whole number of
// dots: `pontosPorPolegada` dots per inch (0: the device's own dots), shifted by `desvioPolegadas`.
struct GradeSimbolos {
    double pontosPorPolegada = 0;
    double desvioPolegadas = 0;
};

class Relatorio {
public:
    // Each page is a copy of the template as it stands when it is added.
    void adicionaPagina(const Modelo& pagina) { paginas_.append(pagina); }
    qsizetype paginas() const { return paginas_.size(); }
    const Modelo& pagina(qsizetype i) const { return paginas_.at(i); }
    void limpa() { paginas_.clear(); }

    // Writes a PDF (fonts are always embedded as subsets by the writer) and its document
    // information. False when the file could not be written.
    bool exportaPdf(const QString& arquivo, const InformacaoPdf& informacao) const;

    // Draws every page on a paged device (a printer, a PDF writer), each page in its own size,
    // barcodes and QR codes on the grid given (a printer's own dots by default). False when the
    // device could not be painted on.
    bool desenhaEm(QPagedPaintDevice& dispositivo, double pontosPorPolegada,
                   const GradeSimbolos& grade = {}) const;
    // Draws one page on a device of any resolution.
    static void desenhaPagina(QPainter& pintor, const Modelo& pagina, double pontosPorPolegada,
                              const GradeSimbolos& grade = {});

private:
    QList<Modelo> paginas_;
};

// The page size of a filled template (a roll as long as its content).
QPageSize tamanhoPagina(const Modelo& pagina);

// Adds the document information to a PDF that has been written (an incremental update, so the
// writer's own output stays as it is).
bool acrescentaInformacaoPdf(const QString& arquivo, const InformacaoPdf& informacao);

} // namespace qel
