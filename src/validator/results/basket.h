#pragma once

#include <QMap>
#include <QString>

#include <memory>

// The controller's sales basket, shared with the validation service, which takes a copy at
// each card tap. Holds the tickets of the last sale ("previous tickets") by their position.
// A null Basket::Ptr reads as an empty basket.
class Basket
{
public:
    using Ptr = std::shared_ptr<Basket>;

    struct ticket {
        QString ticketId;
        QString getTicketId() const { return ticketId; }
    };

    Ptr clone() const { return std::make_shared<Basket>(*this); }
    // A copy of the basket, or an empty one for null.
    static Ptr copyOf(const Ptr &basket) { return basket ? basket->clone() : std::make_shared<Basket>(); }

    QMap<int, ticket> getPreviousTickets() const { return mPreviousTickets; }
    void setPreviousTickets(const QMap<int, ticket> &tickets) { mPreviousTickets = tickets; }

private:
    QMap<int, ticket> mPreviousTickets;
};
