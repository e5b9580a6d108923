#pragma once

#include <QString>

#include <vector>

class MqttPeer;
struct mosquitto;

namespace benchmark {
class State;
}

// The yardstick of a benchmark that times messages through a broker: the same peers' small
// message sent straight back by a relay of its own on the same broker (a libmosquitto client
// answering from its network thread), so that what it measures is the broker and the peers
// alone: from the sender's publication to the message's arrival at the receiver, as the
// benchmark times its own. Lives on the benchmark's thread; times are in microseconds.
class BrokerRoundTrip
{
public:
    BrokerRoundTrip(MqttPeer &sender, MqttPeer &receiver, const QString &host, quint16 port);
    BrokerRoundTrip(MqttPeer &peer, const QString &host, quint16 port)
        : BrokerRoundTrip(peer, peer, host, port)
    {
    }
    ~BrokerRoundTrip();
    BrokerRoundTrip(const BrokerRoundTrip &) = delete;
    BrokerRoundTrip &operator=(const BrokerRoundTrip &) = delete;

    // The relay subscribed and the receiver's subscription acknowledged.
    bool isReady() const { return mReady; }
    // `runs` round trips one after the other, sorted; empty when one was lost.
    std::vector<double> time(int runs);
    // Times `runs` round trips and sets the benchmark's counters bare_p50_us, bare_p99_us,
    // bare_max_us and ratio_p50 (the median of `answers`, the benchmark's own times, over the
    // bare one); false, with the benchmark's error, when a round trip was lost.
    bool report(benchmark::State &state, const std::vector<double> &answers, int runs);

    // The value below which the share p (0 to 1) of the sorted values lies.
    static double percentile(const std::vector<double> &sorted, double p);

private:
    MqttPeer &mSender;
    MqttPeer &mReceiver;
    mosquitto *mRelay = nullptr;
    bool mReady = false;
};
