#pragma once

// A prepared report: the pages (filled templates) and what can be done with them.

#include "relatorio/modelo.h"

#include <QDateTime>

#include <QList>
#include <QString>

class QPainter;
class QPagedPaintDevice;

namespace qel {

struct InformacaoPdf {
    QString titulo;
    QString autor;
    QString assunto;
    QString criador;
    QString produtor;
    QDateTime criacao; // the document's creation date; none when invalid
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

    // Draws every page on a paged device (a printer, a PDF writer), each page in its own size.
    // False when the device could not be painted on.
    bool desenhaEm(QPagedPaintDevice& dispositivo, double pontosPorPolegada) const;
    // Draws one page on a device of any resolution.
    static void desenhaPagina(QPainter& pintor, const Modelo& pagina, double pontosPorPolegada);

private:
    QList<Modelo> paginas_;
};

// Adds the document information to a PDF that has been written (an incremental update, so the
// writer's own output stays as it is).
bool acrescentaInformacaoPdf(const QString& arquivo, const InformacaoPdf& informacao);

} // namespace qel
